#include "platform/qt/texts/ArgumentTexts.h"

#include "archive/UserFields.h"

namespace dravolin::qt {

QString RefusalText(const ArchiveArguments& refused, const QString& program,
                    const Translation& texts) {
    using Problem = ArchiveArguments::Problem;
    const QString subject = QString::fromStdString(refused.subject);
    const QString detail = QString::fromStdString(refused.detail);
    const QString line = QString::number(refused.line);
    QString why;
    switch (refused.problem) {
        case Problem::None:
            break;
        case Problem::NeedsValue:
            why = texts.Text("commandLine.needsValue").arg(subject);
            break;
        case Problem::TakesNoValue:
            why = texts.Text("commandLine.takesNoValue").arg(subject);
            break;
        case Problem::UnknownOption:
            why = texts.Text("commandLine.unknownOption").arg(subject, program);
            break;
        case Problem::UnexpectedArgument:
            why = texts.Text("commandLine.unexpectedArgument").arg(subject, program);
            break;
        case Problem::NeedsArchive:
            why = texts.Text("commandLine.needsArchive").arg(subject);
            break;
        case Problem::DiscTime:
            why = texts.Text("commandLine.discTime").arg(QString::number(kMaxDiscMinutes), subject);
            break;
        case Problem::Keep:
            why = texts.Text("commandLine.keep").arg(subject);
            break;
        case Problem::UnknownField:
            why = texts.Text("commandLine.unknownField").arg(subject);
            break;
        case Problem::UnclosedBrace:
            why = texts.Text("commandLine.unclosedBrace").arg(subject);
            break;
        case Problem::StrayClosingBrace:
            why = texts.Text("commandLine.strayBrace").arg(subject);
            break;
        case Problem::MissingOperand:
            why = texts.Text("commandLine.missingOperand").arg(program);
            break;
        case Problem::BagInfoUnreadable:
            why = texts.Text("commandLine.bagInfoUnreadable").arg(subject, detail);
            break;
        case Problem::BagInfoTooLarge:
            why = texts.Text("commandLine.bagInfoTooLarge")
                      .arg(subject, QString::number(archive::kMaxUserFieldsBytes / 1024));
            break;
        case Problem::BagInfoNotText:
            why = texts.Text("commandLine.bagInfoNotText").arg(subject, line);
            break;
        case Problem::BagInfoNotAField:
            why = texts.Text("commandLine.bagInfoNotAField").arg(subject, line);
            break;
        case Problem::BagInfoOwnLabel:
            why = texts.Text("commandLine.bagInfoOwnLabel").arg(subject, line, detail);
            break;
    }
    return program + QStringLiteral(": ") + why;
}

}  // namespace dravolin::qt

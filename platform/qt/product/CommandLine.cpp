#include "platform/qt/product/CommandLine.h"

#include <QCoreApplication>
#include <optional>
#include "archive/BagName.h"
#include "platform/qt/texts/Translation.h"

namespace dravolin::qt {

namespace {

const QString kArchive = QStringLiteral("--archive");
const QString kName = QStringLiteral("--name");
const QString kDiscTime = QStringLiteral("--disc-time");
const QString kHelp = QStringLiteral("--help");
const QString kVersion = QStringLiteral("--version");

CommandLine Refusal(const QString& text) {
    return {CommandLine::Action::Refuse, {}, QStringLiteral("dravolin: ") + text};
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Digits only: no sign, blank or unit that a number reader would quietly accept or drop.
std::optional<std::uint32_t> MinutesOf(const QString& text) {
    if (text.isEmpty() || text.size() > 4) return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    }
    const std::uint32_t minutes = text.toUInt();
    if (minutes == 0 || minutes > kMaxDiscMinutes) return std::nullopt;
    return minutes;
}

std::optional<QString> PatternProblem(const QString& pattern, const Translation& texts) {
    const archive::PatternCheck check = archive::CheckPattern(pattern.toStdString());
    switch (check.problem) {
        case archive::PatternProblem::None:
            return std::nullopt;
        case archive::PatternProblem::UnknownField:
            return texts.Text("commandLine.unknownField").arg(FromUtf8(check.text));
        case archive::PatternProblem::UnclosedBrace:
            return texts.Text("commandLine.unclosedBrace").arg(pattern);
        case archive::PatternProblem::StrayClosingBrace:
            return texts.Text("commandLine.strayBrace").arg(pattern);
    }
    return std::nullopt;
}

}  // namespace

CommandLine ReadCommandLine(const QStringList& arguments, Language language) {
    const Translation texts(language);
    CommandLine line;
    std::optional<QString> pattern;
    std::optional<QString> minutes;
    QString firstArchiveOption;  // --name or --disc-time, whichever came first
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("-h") || argument == kHelp) {
            const std::uint32_t defaultMinutes = ArchiveOptions{}.discSeconds / 60;
            return {CommandLine::Action::Help,
                    {},
                    texts.Text("commandLine.help")
                        .arg(FromUtf8(archive::kDefaultPattern), QString::number(defaultMinutes),
                             QString::number(kMaxDiscMinutes))};
        }
        if (argument == QLatin1String("-v") || argument == kVersion) {
            return {CommandLine::Action::Version,
                    {},
                    QStringLiteral("Dravolin %1").arg(QCoreApplication::applicationVersion())};
        }
        if (argument == kArchive) {
            line.archive.on = true;
            continue;
        }
        if (argument == QLatin1String("--")) {
            if (i + 1 < arguments.size()) {
                return Refusal(texts.Text("commandLine.unexpectedArgument").arg(arguments[i + 1]));
            }
            break;
        }
        // "--option=value" or "--option value".
        const qsizetype equals =
            argument.startsWith(QLatin1String("--")) ? argument.indexOf('=') : -1;
        const QString option = equals > 0 ? argument.left(equals) : argument;
        if (option == kName || option == kDiscTime) {
            QString value;
            if (equals > 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            if (value.isEmpty()) return Refusal(texts.Text("commandLine.needsValue").arg(option));
            (option == kName ? pattern : minutes) = value;
            if (firstArchiveOption.isEmpty()) firstArchiveOption = option;
            continue;
        }
        if (option == kArchive || option == kHelp || option == kVersion) {
            return Refusal(texts.Text("commandLine.takesNoValue").arg(option));
        }
        if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            return Refusal(texts.Text("commandLine.unknownOption").arg(option));
        }
        return Refusal(texts.Text("commandLine.unexpectedArgument").arg(argument));
    }

    if (!line.archive.on && !firstArchiveOption.isEmpty()) {
        return Refusal(texts.Text("commandLine.needsArchive").arg(firstArchiveOption));
    }
    if (pattern) {
        if (const std::optional<QString> problem = PatternProblem(*pattern, texts)) {
            return Refusal(*problem);
        }
        line.archive.pattern = pattern->toStdString();
    }
    if (minutes) {
        const std::optional<std::uint32_t> value = MinutesOf(*minutes);
        if (!value) {
            return Refusal(
                texts.Text("commandLine.discTime").arg(QString::number(kMaxDiscMinutes), *minutes));
        }
        line.archive.discSeconds = *value * 60;
    }
    return line;
}

}  // namespace dravolin::qt

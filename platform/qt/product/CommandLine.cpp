#include "platform/qt/product/CommandLine.h"

#include <QCoreApplication>
#include <string>
#include <vector>
#include "archive/BagName.h"
#include "platform/linux/archive/BagInfoFile.h"
#include "platform/qt/texts/ArgumentTexts.h"
#include "platform/qt/texts/Translation.h"

namespace dravolin::qt {

CommandLine ReadCommandLine(const QStringList& arguments, Language language) {
    std::vector<std::string> words;
    words.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& argument : arguments) words.push_back(argument.toStdString());
    const ArchiveArguments read =
        lnx::ReadBagInfoFile(ReadArchiveArguments(words, ArchiveProgram::Dialog, true));

    const Translation texts(language);
    switch (read.action) {
        case ArchiveArguments::Action::Run:
            return {CommandLine::Action::Run, read.archive, {}};
        case ArchiveArguments::Action::Help: {
            const std::uint32_t defaultMinutes = ArchiveOptions{}.discSeconds / 60;
            return {CommandLine::Action::Help,
                    {},
                    texts.Text("commandLine.help")
                        .arg(QString::fromUtf8(archive::kDefaultPattern.data(),
                                               qsizetype(archive::kDefaultPattern.size())),
                             QString::number(defaultMinutes), QString::number(kMaxDiscMinutes))};
        }
        case ArchiveArguments::Action::Version:
            return {CommandLine::Action::Version,
                    {},
                    QStringLiteral("Dravolin %1").arg(QCoreApplication::applicationVersion())};
        case ArchiveArguments::Action::Refuse:
            break;
    }
    return {CommandLine::Action::Refuse, {}, RefusalText(read, QStringLiteral("dravolin"), texts)};
}

}  // namespace dravolin::qt

// Dravolin on the Linux desktop: the real services under the Qt dialog.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include "platform/linux/io/DescriptorLimit.h"
#include "platform/qt/product/CommandLine.h"
#include "platform/qt/product/Program.h"

int main(int argc, char** argv) {
    using namespace dravolin;
    using namespace dravolin::qt;

    lnx::RaiseDescriptorLimit();
    // The application object takes Qt's own options (-platform...) out of the arguments first.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dravolin"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setDesktopFileName(QStringLiteral("dravolin"));

    const Language language = LanguageOf(QLocale());
    const CommandLine line = ReadCommandLine(QApplication::arguments(), language);
    if (line.action != CommandLine::Action::Run) {
        const bool refused = line.action == CommandLine::Action::Refuse;
        std::fprintf(refused ? stderr : stdout, "%s\n", line.text.toLocal8Bit().constData());
        return refused ? kUsageExitStatus : EXIT_SUCCESS;
    }

    // Qt's own dialogs (the folder chooser) in the user's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    ProgramOptions options;
    options.language = language;
    options.archive = line.archive;
    Program program(std::move(options));
    program.Run();
    return EndProgram(program);
}

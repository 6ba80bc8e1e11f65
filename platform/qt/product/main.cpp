// Dravolin on the Linux desktop: the real services under the Qt dialog.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include "platform/linux/io/DescriptorLimit.h"
#include "platform/qt/product/Program.h"

int main(int argc, char** argv) {
    using namespace dravolin;
    using namespace dravolin::qt;

    lnx::RaiseDescriptorLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dravolin"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
    QApplication::setDesktopFileName(QStringLiteral("dravolin"));
    // Qt's own dialogs (the folder chooser) in the user's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    ProgramOptions options;
    options.language = LanguageOf(QLocale());
    Program program(std::move(options));
    program.Run();
    return EndProgram(program);
}

// Dravolin on the Linux desktop: the real services under the Qt dialog.
#include <QApplication>
#include <QDBusConnection>
#include <QLibraryInfo>
#include <QTranslator>
#include <chrono>
#include <cstdlib>
#include <memory>
#include "app/CopyApp.h"
#include "platform/linux/LinuxServices.h"
#include "platform/qt/QtContextMenu.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtDialogHost.h"
#include "platform/qt/QtPathPreparer.h"
#include "platform/qt/QtResources.h"
#include "platform/qt/QtShellInfo.h"
#include "platform/qt/QtShellServices.h"
#include "platform/qt/SessionInhibitor.h"
#include "platform/qt/product/LinuxCopyPrompts.h"
#include "platform/qt/product/LinuxDriveActions.h"
#include "platform/qt/product/StoreCommits.h"

namespace {
// A worker told to stop ends after its current block or device command.
constexpr auto kWorkerGrace = std::chrono::seconds(3);
}  // namespace

int main(int argc, char** argv) {
    using namespace dravolin;
    using namespace dravolin::qt;

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
    const Language language = LanguageOf(QLocale());

    auto sessions = std::make_shared<CopySessions>();
    lnx::LinuxServicesOptions options;
    options.prompts = std::make_shared<QtCopyPromptsFactory>(sessions);
    options.cursor = std::make_shared<QtWaitCursor>();
    lnx::LinuxServices services(std::move(options));

    SessionInhibitor inhibitor(QDBusConnection::sessionBus());
    AutoPlayRegistry registry(services.registry(), inhibitor);
    QtDesktop desktop;
    QtResources resources(language);
    QtDialogHost host(language, sessions);
    // One save of the history, one write of the store; a store that cannot be written is told.
    StoreCommits storeCommits(services.registry(), host, language);
    QtShellInfo shellInfo(services.shellInfo());
    QtPathPreparer explainingPreparer(services.preparer(), language);
    QtAutoComplete autoComplete;
    QtFolderPicker folderPicker;
    QtShellOpen shellOpen;
    LinuxDriveActions driveActions(services);
    QtContextMenu contextMenu(driveActions, language);
    Platform platform{desktop,
                      host,
                      resources,
                      services.volumes(),
                      shellInfo,
                      registry,
                      explainingPreparer,
                      services.codePage(),
                      autoComplete,
                      folderPicker,
                      shellOpen,
                      contextMenu,
                      services.threads(),
                      services.workers()};

    CCopyApp application(platform);
    application.InitInstance();
    // What the teardown saved, written before the process may end.
    storeCommits.CommitNow();

    // The history is saved and every worker was told to stop. One stuck in a device command
    // must not keep the program alive, nor see the services destroyed under it.
    if (!services.threads().WaitForAll(std::chrono::steady_clock::now() + kWorkerGrace)) {
        std::_Exit(EXIT_SUCCESS);
    }
    return EXIT_SUCCESS;
}

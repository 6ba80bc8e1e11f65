#pragma once
#include <QDBusConnection>
#include <chrono>
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
#include "platform/qt/product/LinuxDriveActions.h"
#include "platform/qt/product/StoreCommits.h"

namespace dravolin::qt {

// How long the end of the program waits for workers told to stop: a worker ends after its
// current block or device command.
inline constexpr std::chrono::seconds kWorkerGrace{3};

// Set in the environment, each poll tick's time on the UI thread goes to standard error as
// "tick <microseconds> us".
inline constexpr char kTickLogVariable[] = "DRAVOLIN_TICK_LOG";

struct ProgramOptions {
    // The program sets the prompts, the wait cursor, the AutoPlay hook and the label of an
    // audio CD itself.
    lnx::LinuxServicesOptions services;
    QDBusConnection sessionBus = QDBusConnection::sessionBus();
    Language language = Language::English;
    // Archive mode as the command line asked for it, its pattern already checked.
    ArchiveOptions archive;
};

// The dravolin program as it runs: the Linux services under the Qt dialog, the desktop
// session's automount inhibitor held while the core's AutoPlay value exists, the store written
// once per event, folder preparation that explains its failures, the drive menu and the folder
// chooser on the services. main() builds it on the real system, the tests on seams.
// UI thread only.
class Program {
  public:
    explicit Program(ProgramOptions options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Runs the dialog until it closes, and writes what its teardown saved.
    void Run();
    // After Run: waits up to `grace` for the workers, then lets go of what the program mounted.
    // False when a worker is still running: nothing may be destroyed then.
    bool Finish(std::chrono::steady_clock::duration grace);

    lnx::LinuxServices& Services() { return services_; }
    QtDialogHost& Host() { return host_; }
    SessionInhibitor& Inhibitor() { return *inhibitor_; }
    // The core's dialog while Run runs, else null.
    CCopyDlg* Dialog() const { return application_.m_pMainWnd; }

  private:
    static lnx::LinuxServicesOptions ServicesOptions(ProgramOptions& options,
                                                     const std::shared_ptr<CopyChannels>& channels,
                                                     const std::shared_ptr<SessionInhibitor>&);

    std::shared_ptr<CopyChannels> channels_;
    std::shared_ptr<SessionInhibitor> inhibitor_;
    lnx::LinuxServices services_;
    QtDesktop desktop_;
    QtResources resources_;
    QtDialogHost host_;
    StoreCommits storeCommits_;
    QtShellInfo shellInfo_;
    QtPathPreparer preparer_;
    QtAutoComplete autoComplete_;
    LinuxDriveActions driveActions_;
    QtFolderPicker folderPicker_;
    QtShellOpen shellOpen_;
    QtContextMenu contextMenu_;
    Platform platform_;
    CCopyApp application_;
};

// main's last step. When a worker (stuck in a device command) outlives the grace, the process
// ends at once, with success, destroying nothing the worker may still use; otherwise it
// returns EXIT_SUCCESS for main to return.
int EndProgram(Program& program);

}  // namespace dravolin::qt

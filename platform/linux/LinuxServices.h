#pragma once
#include <chrono>
#include <memory>
#include <string>
#include "platform/Platform.h"
#include "platform/linux/drives/CdromIo.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/mount/DiscMounter.h"
#include "platform/linux/drives/DriveStates.h"
#include "platform/linux/paths/LinuxPathPreparer.h"
#include "platform/linux/store/LinuxRegistry.h"
#include "platform/linux/threads/LinuxThreads.h"
#include "platform/linux/drives/DiscPresence.h"
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::lnx {

struct LinuxServicesOptions {
    SystemRoots roots;
    std::string storeFolder = StoreFile::DefaultFolder();
    std::string busAddress;  // UDisks2's bus; empty: the system bus
    // The desktop notifications' bus; empty: the session bus DBUS_SESSION_BUS_ADDRESS names.
    std::string sessionBusAddress;
    bool useUDisks2 = true;
    std::string privateMountRoot;
    // The face of every copy. Without one, copies ask nobody: existing files are kept and the
    // first error cancels the copy.
    std::shared_ptr<CopyPromptsFactory> prompts;
    std::shared_ptr<AutoPlayHook> autoPlay;
    std::shared_ptr<WaitCursor> cursor;  // default: none
    // What an audio CD's volume is called, in the program's language (DriveStates).
    std::string audioCdLabel = kAudioCdLabel;
    // Seams for the tests.
    std::shared_ptr<CdromIo> cdrom;
    std::shared_ptr<MountCalls> mountCalls;
    std::shared_ptr<CopyIo> copyIo;
};

// The non-GUI services of Platform on Linux, built once at start: the Qt front end and the
// headless test program add their own UI services and assemble a Platform from these.
class LinuxServices {
  public:
    explicit LinuxServices(LinuxServicesOptions options = {});
    LinuxServices(const LinuxServices&) = delete;
    LinuxServices& operator=(const LinuxServices&) = delete;

    Volumes& volumes() { return *volumes_; }
    ShellInfo& shellInfo() { return *shellInfo_; }
    LinuxRegistry& registry() { return *registry_; }
    LinuxPathPreparer& preparer() { return preparer_; }
    CodePage& codePage() { return *codePage_; }
    LinuxThreads& threads() { return threads_; }
    // Shared with the workers, which may outlive the dialog.
    WorkerServices workers() const { return workers_; }

    const OpticalDrives& drives() const { return *drives_; }
    DiscMounter& mounter() { return *mounter_; }
    DriveStates& states() { return *states_; }

    // The end of the program, once the dialog has told every worker to stop: waits for them
    // until `deadline`, then unmounts what the program mounted and unlocks those doors. False
    // when a worker still runs at the deadline: nothing is released then (the worker may be
    // reading the disc), and the caller must end the process without destroying what the
    // worker may still use.
    bool Finish(std::chrono::steady_clock::time_point deadline);

  private:
    std::shared_ptr<const OpticalDrives> drives_;
    std::shared_ptr<CdromIo> cdrom_;
    LinuxThreads threads_;
    std::shared_ptr<DriveStates> states_;
    std::shared_ptr<DiscMounter> mounter_;
    std::shared_ptr<DiscPresence> discPresence_;
    std::unique_ptr<Volumes> volumes_;
    std::unique_ptr<ShellInfo> shellInfo_;
    std::unique_ptr<LinuxRegistry> registry_;
    LinuxPathPreparer preparer_;
    std::unique_ptr<CodePage> codePage_;
    WorkerServices workers_;
};

}  // namespace dravolin::lnx

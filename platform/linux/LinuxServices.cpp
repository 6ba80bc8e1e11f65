#include "platform/linux/LinuxServices.h"

#include <utility>
#include "platform/linux/QuietServices.h"
#include "platform/linux/archive/LinuxArchiver.h"
#include "platform/linux/copy/LinuxShellCopy.h"
#include "platform/linux/copy/PolicyPrompts.h"
#include "platform/linux/drives/LinuxDeviceControl.h"
#include "platform/linux/drives/LinuxShellInfo.h"
#include "platform/linux/drives/LinuxVolumes.h"

namespace dravolin::lnx {

namespace {

template <typename T, typename Default>
std::shared_ptr<T> OrDefault(std::shared_ptr<T> given) {
    return given ? std::move(given) : std::make_shared<Default>();
}

}  // namespace

LinuxServices::LinuxServices(LinuxServicesOptions options)
    : drives_(std::make_shared<const OpticalDrives>(options.roots)),
      cdrom_(OrDefault<CdromIo, CdromIo>(options.cdrom)),
      states_(std::make_shared<DriveStates>(drives_, cdrom_, threads_,
                                            std::move(options.audioCdLabel))) {
    DiscMounter::Options mounting;
    mounting.mountInfo = options.roots.mountInfo;
    mounting.busAddress = options.busAddress;
    mounting.useUDisks2 = options.useUDisks2;
    mounting.privateMountRoot = options.privateMountRoot;
    mounter_ = std::make_shared<DiscMounter>(
        std::move(mounting), OrDefault<MountCalls, MountCalls>(options.mountCalls), cdrom_);

    volumes_ = std::make_unique<LinuxVolumes>(drives_, states_);
    shellInfo_ = std::make_unique<LinuxShellInfo>(drives_);
    registry_ = std::make_unique<LinuxRegistry>(options.storeFolder, options.autoPlay);
    codePage_ = std::make_unique<Utf8CodePage>();

    std::shared_ptr<CopyPromptsFactory> prompts = options.prompts;
    if (!prompts) {
        prompts =
            std::make_shared<PolicyPromptsFactory>(ReplaceDecision::Skip, ErrorDecision::Cancel);
    }
    discPresence_ = std::make_shared<DiscPresence>(cdrom_, threads_, DiscPresence::Timing{});
    // A disc answer from before the tray opened would start a copy of a disc no longer there.
    states_->WhenDiscGone(
        [tests = std::weak_ptr<DiscPresence>(discPresence_)](const std::string& node) {
            if (const auto alive = tests.lock()) alive->Forget(node);
        });
    workers_.devices =
        std::make_shared<LinuxDeviceControl>(drives_, cdrom_, mounter_, discPresence_);
    const std::shared_ptr<CopyIo> copyIo = OrDefault<CopyIo, CopyIo>(options.copyIo);
    workers_.copy = std::make_shared<LinuxShellCopy>(drives_, mounter_, prompts, copyIo, states_);
    workers_.archiver = std::make_shared<LinuxArchiver>(LinuxArchiver::Parts{
        drives_, mounter_, states_, std::move(prompts), copyIo,
        std::make_shared<DesktopNotifications>(threads_, options.sessionBusAddress), nullptr,
        cdrom_});
    workers_.cursor = OrDefault<WaitCursor, NoWaitCursor>(options.cursor);
    workers_.com = std::make_shared<NoComRuntime>();
}

bool LinuxServices::Finish(std::chrono::steady_clock::time_point deadline) {
    discPresence_->Stop();
    if (!threads_.WaitForAll(deadline)) return false;
    // Every copy let go of its own mount as it ended; what is left was mounted on request.
    mounter_->ReleaseAll();
    return true;
}

}  // namespace dravolin::lnx

#include "platform/linux/LinuxServices.h"

#include <utility>
#include "platform/linux/LinuxDeviceControl.h"
#include "platform/linux/LinuxShellCopy.h"
#include "platform/linux/LinuxShellInfo.h"
#include "platform/linux/LinuxVolumes.h"
#include "platform/linux/QuietServices.h"

namespace dravolin::lnx {

namespace {

template <typename T, typename Default>
std::shared_ptr<T> OrDefault(std::shared_ptr<T> given) {
    return given ? std::move(given) : std::make_shared<Default>();
}

}  // namespace

LinuxServices::LinuxServices(LinuxServicesOptions options)
    : drives_(std::make_shared<const OpticalDrives>(options.roots)),
      cdrom_(OrDefault<CdromIo, CdromIo>(options.cdrom)) {
    DiscMounter::Options mounting;
    mounting.mountInfo = options.roots.mountInfo;
    mounting.busAddress = options.busAddress;
    mounting.useUDisks2 = options.useUDisks2;
    mounting.privateMountRoot = options.privateMountRoot;
    mounter_ = std::make_shared<DiscMounter>(std::move(mounting),
                                             OrDefault<MountCalls, MountCalls>(options.mountCalls));

    volumes_ = std::make_unique<LinuxVolumes>(drives_, cdrom_);
    shellInfo_ = std::make_unique<LinuxShellInfo>(drives_);
    registry_ = std::make_unique<LinuxRegistry>(options.storeFolder, options.autoPlay);
    codePage_ = std::make_unique<Utf8CodePage>();

    std::shared_ptr<CopyPromptsFactory> prompts = options.prompts;
    if (!prompts) {
        prompts =
            std::make_shared<PolicyPromptsFactory>(ReplaceDecision::Skip, ErrorDecision::Cancel);
    }
    workers_.devices = std::make_shared<LinuxDeviceControl>(drives_, cdrom_, mounter_);
    workers_.copy = std::make_shared<LinuxShellCopy>(drives_, mounter_, std::move(prompts),
                                                     OrDefault<CopyIo, CopyIo>(options.copyIo));
    workers_.cursor = OrDefault<WaitCursor, NoWaitCursor>(options.cursor);
    workers_.com = std::make_shared<NoComRuntime>();
}

}  // namespace dravolin::lnx

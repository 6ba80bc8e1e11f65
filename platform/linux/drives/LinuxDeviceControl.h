#pragma once
#include <memory>
#include "platform/DeviceControl.h"
#include "platform/linux/drives/CdromIo.h"
#include "platform/linux/drives/EjectRelease.h"
#include "platform/linux/drives/DiscPresence.h"
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::lnx {

// The core's device commands on the optical drives: "\\.\E:" stands for the drive's node, and
// the three disk control codes become the CD-ROM ioctls. Thread-safe (nothing is shared but
// the mounter and the media tests, which lock).
//
// Opening a drive's node makes the kernel ask the drive about its medium, which waits as long
// as any command would: the node is opened by the command that needs it, and the media test,
// which the dialog's poll makes on the UI thread, goes through `discPresence` when given.
class LinuxDeviceControl : public DeviceControl {
  public:
    LinuxDeviceControl(std::shared_ptr<const OpticalDrives> drives, std::shared_ptr<CdromIo> io,
                       std::shared_ptr<EjectRelease> mounter,
                       std::shared_ptr<DiscPresence> discPresence = nullptr);

    // Null for any path but a known drive's device path, or when its node is not there to be
    // read: the core then treats the drive as one without a medium.
    std::unique_ptr<Device> Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                                 std::uint32_t disposition) override;

  private:
    std::shared_ptr<const OpticalDrives> drives_;
    std::shared_ptr<CdromIo> io_;
    std::shared_ptr<EjectRelease> mounter_;
    std::shared_ptr<DiscPresence> discPresence_;
};

}  // namespace dravolin::lnx

#include "platform/linux/drives/LinuxDeviceControl.h"

#include <unistd.h>
#include <cstdio>
#include <string>
#include <utility>
#include "platform/Types.h"
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/drives/DrivePaths.h"
#include "platform/linux/io/ErrorText.h"

namespace dravolin::lnx {

namespace {

// An eject's refusal in words: the kernel's errno, or the drive's own status.
std::string Why(int status) {
    if (status > 0) return ErrorText(status);
    return "the drive answered with status " + std::to_string(-status);
}

class LinuxDevice : public Device {
  public:
    LinuxDevice(OpticalDrive drive, std::shared_ptr<CdromIo> io,
                std::shared_ptr<EjectRelease> mounter, std::shared_ptr<DiscPresence> discPresence)
        : drive_(std::move(drive)),
          io_(std::move(io)),
          mounter_(std::move(mounter)),
          discPresence_(std::move(discPresence)) {}

    bool Control(std::uint32_t code) override {
        switch (code) {
            case win::kIoctlDiskCheckVerify:
                if (discPresence_) return discPresence_->HasMedia(drive_.deviceNode);
                return Opened() && QueryTray(*io_, fd_.Get()) == TrayState::DiscOk;
            case win::kIoctlDiskEjectMedia: {
                if (!Opened()) return false;
                ForgetMedia();
                int status = 0;
                // The kernel refuses to eject a disc that is still mounted.
                if (mounter_) mounter_->ReleaseForEject(drive_);
                const int busyPauses =
                    OnWorker() ? kEjectBusyPausesOnWorker : kEjectBusyPausesOnUiThread;
                const bool ejected = EjectTray(*io_, fd_.Get(), busyPauses, &status);
                ForgetMedia();  // asked while the eject was under way
                if (ejected) return true;
                // Nobody sees a worker's result: the cycle copies a disc that stayed in again,
                // and whoever watches an unattended run reads why here.
                std::fprintf(stderr, "dravolin: %c: (%s) refused to eject its disc: %s\n",
                             drive_.letter, drive_.deviceNode.c_str(), Why(status).c_str());
                return false;
            }
            case win::kIoctlDiskLoadMedia: {
                if (!Opened()) return false;
                ForgetMedia();
                const bool closed = CloseTray(*io_, fd_.Get());
                ForgetMedia();
                return closed;
            }
            default:
                return false;
        }
    }

  private:
    // A disc seen before the tray moves is not the one the poll will find after it.
    void ForgetMedia() {
        if (discPresence_) discPresence_->Forget(drive_.deviceNode);
    }
    bool Opened() {
        if (!fd_) fd_ = io_->Open(drive_.deviceNode);
        return static_cast<bool>(fd_);
    }

    OpticalDrive drive_;
    std::shared_ptr<CdromIo> io_;
    std::shared_ptr<EjectRelease> mounter_;
    std::shared_ptr<DiscPresence> discPresence_;
    UniqueFd fd_;  // opened by the first command that needs it
};

}  // namespace

LinuxDeviceControl::LinuxDeviceControl(std::shared_ptr<const OpticalDrives> drives,
                                       std::shared_ptr<CdromIo> io,
                                       std::shared_ptr<EjectRelease> mounter,
                                       std::shared_ptr<DiscPresence> discPresence)
    : drives_(std::move(drives)),
      io_(std::move(io)),
      mounter_(std::move(mounter)),
      discPresence_(std::move(discPresence)) {}

std::unique_ptr<Device> LinuxDeviceControl::Open(const std::string& path, std::uint32_t access,
                                                 std::uint32_t, std::uint32_t disposition) {
    // Reading is all a drive is opened for, and only an existing device can be opened.
    if ((access & win::kGenericRead) == 0 || disposition != win::kOpenExisting) return nullptr;
    const std::optional<char> letter = LetterOfDevicePath(path);
    const OpticalDrive* drive = letter ? drives_->Find(*letter) : nullptr;
    if (!drive || ::access(drive->deviceNode.c_str(), R_OK) != 0) return nullptr;
    return std::make_unique<LinuxDevice>(*drive, io_, mounter_, discPresence_);
}

}  // namespace dravolin::lnx

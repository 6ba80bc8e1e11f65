#include "platform/linux/LinuxVolumes.h"

#include <utility>
#include "platform/Types.h"
#include "platform/linux/DrivePaths.h"
#include "platform/linux/VolumeReader.h"

namespace dravolin::lnx {

namespace {
constexpr std::uint32_t kDriveNoRootDir = 1;
}

LinuxVolumes::LinuxVolumes(std::shared_ptr<const OpticalDrives> drives, std::shared_ptr<CdromIo> io)
    : drives_(std::move(drives)), io_(std::move(io)) {}

std::uint32_t LinuxVolumes::GetDriveType(const std::string& root) {
    const std::optional<char> letter = LetterOfDeviceRoot(root);
    return letter && drives_->Find(*letter) ? win::kDriveCdrom : kDriveNoRootDir;
}

Volumes::Info LinuxVolumes::GetVolumeInformation(const std::string& root,
                                                 std::uint32_t labelCapacity) {
    Info info;
    const std::optional<char> letter = LetterOfDeviceRoot(root);
    const OpticalDrive* drive = letter ? drives_->Find(*letter) : nullptr;
    if (!drive) return info;
    UniqueFd fd = io_->Open(drive->deviceNode);
    if (!fd) return info;
    if (QueryTray(*io_, fd.Get()) != TrayState::DiscOk) return info;
    FdDiscBytes bytes(fd.Get());
    const std::optional<VolumeIdentity> identity =
        ReadVolumeIdentity(bytes, LastSessionOffset(*io_, fd.Get()));
    if (!identity) return info;
    info.ok = true;
    info.serial = identity->serial;
    info.label = labelCapacity == 0 ? std::string() : CutUtf8(identity->label, labelCapacity - 1);
    return info;
}

}  // namespace dravolin::lnx

#include "platform/linux/drives/LinuxVolumes.h"

#include <utility>
#include "platform/Types.h"
#include "platform/linux/drives/DrivePaths.h"

namespace dravolin::lnx {

namespace {
constexpr std::uint32_t kDriveNoRootDir = 1;
}

LinuxVolumes::LinuxVolumes(std::shared_ptr<const OpticalDrives> drives,
                           std::shared_ptr<DriveStates> states)
    : drives_(std::move(drives)), states_(std::move(states)) {}

std::uint32_t LinuxVolumes::GetDriveType(const std::string& root) {
    const std::optional<char> letter = LetterOfDeviceRoot(root);
    return letter && drives_->Find(*letter) ? win::kDriveCdrom : kDriveNoRootDir;
}

Volumes::Info LinuxVolumes::GetVolumeInformation(const std::string& root,
                                                 std::uint32_t labelCapacity) {
    Info info;
    const std::optional<char> letter = LetterOfDeviceRoot(root);
    if (!letter || !drives_->Find(*letter)) return info;
    const DriveStates::State state = states_->Get(*letter);
    states_->Request(*letter);
    if (state.tray != TrayState::DiscOk || (!state.volume && !state.audio)) return info;
    info.ok = true;
    info.serial = state.volume ? state.volume->serial : state.audio->serial;
    const std::string& label = state.volume ? state.volume->label : states_->AudioCdLabel();
    // The longest label the desktop shows is UDF's 126 Latin-1 characters, 252 bytes of UTF-8:
    // the core's buffer of 260 holds every label whole; only a smaller one cuts.
    info.label = labelCapacity == 0 ? std::string() : CutUtf8(label, labelCapacity - 1);
    return info;
}

}  // namespace dravolin::lnx

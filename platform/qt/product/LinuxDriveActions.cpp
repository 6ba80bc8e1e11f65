#include "platform/qt/product/LinuxDriveActions.h"

#include "engine/DriveControl.h"
#include "platform/linux/CdromIo.h"
#include "platform/linux/MountTable.h"

namespace dravolin::qt {

std::string LinuxDriveActions::MountFolder(char letter) {
    const lnx::OpticalDrive* drive = services_.drives().Find(letter);
    if (!drive) return {};
    const auto folder =
        lnx::FindMountPoint(lnx::ReadMountInfo("/proc/self/mountinfo"), drive->deviceNode);
    return folder.value_or(std::string());
}

bool LinuxDriveActions::TrayOpen(char letter) {
    const lnx::OpticalDrive* drive = services_.drives().Find(letter);
    if (!drive) return false;
    lnx::CdromIo io;
    lnx::UniqueFd fd = io.Open(drive->deviceNode);
    return fd.Get() >= 0 && lnx::QueryTray(io, fd.Get()) == lnx::TrayState::TrayOpen;
}

bool LinuxDriveActions::HasDisc(char letter) {
    return HasMedia(*services_.workers().devices, letter);
}

bool LinuxDriveActions::Control(char letter, std::uint32_t code) {
    WorkerServices workers = services_.workers();
    return ControlDrive(*workers.devices, letter, code);
}

bool LinuxDriveActions::Eject(char letter) {
    return Control(letter, win::kIoctlDiskEjectMedia);
}

bool LinuxDriveActions::CloseTray(char letter) {
    return Control(letter, win::kIoctlDiskLoadMedia);
}

bool LinuxDriveActions::Mount(char letter) {
    const lnx::OpticalDrive* drive = services_.drives().Find(letter);
    return drive && services_.mounter().EnsureMounted(*drive).ok;
}

bool LinuxDriveActions::Unmount(char letter) {
    const lnx::OpticalDrive* drive = services_.drives().Find(letter);
    return drive && services_.mounter().ReleaseForEject(*drive);
}

}  // namespace dravolin::qt

#include "platform/qt/product/LinuxDriveActions.h"

#include "engine/DriveControl.h"

namespace dravolin::qt {

DriveActions::State LinuxDriveActions::Known(char letter) {
    State state;
    const lnx::OpticalDrive* drive = services_.drives().Find(letter);
    if (!drive) return state;
    state.mountFolder = services_.mounter().CurrentMount(*drive).value_or(std::string());
    const lnx::TrayState tray = services_.states().Get(letter).tray;
    state.trayOpen = tray == lnx::TrayState::TrayOpen;
    state.hasDisc = tray == lnx::TrayState::DiscOk;
    return state;
}

void LinuxDriveActions::Refresh(char letter, std::function<void()> done) {
    services_.states().Request(letter, std::move(done));
}

bool LinuxDriveActions::Control(char letter, std::uint32_t code) {
    WorkerServices workers = services_.workers();
    return ControlDrive(*workers.devices, letter, code);
}

// The device command unmounts the disc first.
bool LinuxDriveActions::Eject(char letter) {
    return Control(letter, win::kIoctlDiskEjectMedia);
}

bool LinuxDriveActions::CloseTray(char letter) {
    return Control(letter, win::kIoctlDiskLoadMedia);
}

std::string LinuxDriveActions::Mount(char letter) {
    const lnx::OpticalDrive* drive = services_.drives().Find(letter);
    if (!drive) return {};
    const lnx::DiscMounter::Mounted mounted = services_.mounter().EnsureMounted(*drive);
    return mounted.ok ? mounted.mountPoint : std::string();
}

bool LinuxDriveActions::Unmount(char letter) {
    const lnx::OpticalDrive* drive = services_.drives().Find(letter);
    return drive && services_.mounter().ReleaseForEject(*drive);
}

std::vector<std::string> LinuxDriveActions::MountFolders() const {
    std::vector<std::string> folders;
    for (const lnx::OpticalDrive& drive : services_.drives().All()) {
        if (auto folder = services_.mounter().CurrentMount(drive)) folders.push_back(*folder);
    }
    return folders;
}

}  // namespace dravolin::qt

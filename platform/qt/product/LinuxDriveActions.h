#pragma once
#include "platform/linux/LinuxServices.h"
#include "platform/qt/QtContextMenu.h"

namespace dravolin::qt {

// The drive menu's commands on the Linux services: the tray through the drive's ioctls, the
// disc's folder from the mount table, mounting through the services' mounter. UI thread only.
class LinuxDriveActions : public DriveActions {
  public:
    explicit LinuxDriveActions(lnx::LinuxServices& services) : services_(services) {}
    std::string MountFolder(char letter) override;
    bool TrayOpen(char letter) override;
    bool HasDisc(char letter) override;
    bool Eject(char letter) override;
    bool CloseTray(char letter) override;
    bool Mount(char letter) override;
    bool Unmount(char letter) override;

  private:
    bool Control(char letter, std::uint32_t code);
    lnx::LinuxServices& services_;
};

}  // namespace dravolin::qt

#pragma once
#include <string>
#include <vector>
#include "platform/linux/LinuxServices.h"
#include "platform/qt/QtContextMenu.h"

namespace dravolin::qt {

// The drive menu's commands on the Linux services: the tray through the drive's ioctls, the
// disc's folder from the mount table, mounting through the services' mounter. What is known of
// a drive comes from the mount table and from what the services' workers learnt, never from the
// drive itself; the commands are thread-safe, for the workers that run them.
class LinuxDriveActions : public DriveActions {
  public:
    explicit LinuxDriveActions(lnx::LinuxServices& services) : services_(services) {}
    State Known(char letter) override;
    void Refresh(char letter, std::function<void()> done) override;
    bool Eject(char letter) override;
    bool CloseTray(char letter) override;
    std::string Mount(char letter) override;
    bool Unmount(char letter) override;

    // Where the drives' discs are mounted now, in drive order. Any thread.
    std::vector<std::string> MountFolders() const;

  private:
    bool Control(char letter, std::uint32_t code);
    lnx::LinuxServices& services_;
};

}  // namespace dravolin::qt

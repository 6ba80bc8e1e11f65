#pragma once
#include <string>
#include "platform/ShellServices.h"
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// What the desktop can do with an optical drive, by drive letter.
class DriveActions {
  public:
    virtual ~DriveActions() = default;
    // The folder the drive's disc is mounted on; empty when it is not mounted.
    virtual std::string MountFolder(char letter) = 0;
    virtual bool TrayOpen(char letter) = 0;
    virtual bool HasDisc(char letter) = 0;
    virtual bool Eject(char letter) = 0;
    virtual bool CloseTray(char letter) = 0;
    virtual bool Mount(char letter) = 0;
    virtual bool Unmount(char letter) = 0;
};

// The drive's menu at a point: open in the file manager, eject or close the tray, mount or
// unmount. Dismissing it does nothing. UI thread only; the menu runs a nested event loop in
// which the dialog's timer keeps ticking.
class QtContextMenu : public ShellContextMenu {
  public:
    QtContextMenu(DriveActions& actions, Language language)
        : actions_(actions), language_(language) {}
    bool Show(WindowHandle owner, const std::string& path, Point client) override;

  private:
    DriveActions& actions_;
    Language language_;
};

}  // namespace dravolin::qt

#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "platform/ShellServices.h"
#include "platform/Threads.h"
#include "platform/qt/QtResources.h"

class QObject;

namespace dravolin::qt {

// What the desktop can do with an optical drive, by drive letter.
class DriveActions {
  public:
    virtual ~DriveActions() = default;

    // What is known of the drive now, at once and without touching it. UI thread.
    struct State {
        std::string mountFolder;  // where its disc is mounted; empty when it is not
        bool trayOpen = false;
        bool hasDisc = false;  // a readable disc is in the closed drive
    };
    virtual State Known(char letter) = 0;
    // Learns the drive's state anew on a worker; `done` is called on a worker afterwards.
    // Any thread.
    virtual void Refresh(char letter, std::function<void()> done) = 0;

    // The commands: they wait for the drive, so they run on workers. Mount answers with the
    // folder of the disc, empty when it could not be mounted.
    virtual bool Eject(char letter) = 0;
    virtual bool CloseTray(char letter) = 0;
    virtual std::string Mount(char letter) = 0;
    virtual bool Unmount(char letter) = 0;
};

// The drive's menu at a point: open in the file manager (mounting the disc first when needed),
// eject or close the tray, mount or unmount. Dismissing it does nothing. The labels show what
// is known of the drive when the menu opens and follow what the drive says while it is open;
// the chosen command runs on a worker under the wait cursor, so the dialog keeps answering.
// UI thread only; the menu runs a nested event loop in which the dialog's timer keeps ticking.
class QtContextMenu : public ShellContextMenu {
  public:
    // The menu, `actions` and `threads` outlive every worker the menu starts.
    QtContextMenu(DriveActions& actions, Threads& threads, Language language);
    ~QtContextMenu() override;
    // True when a command was chosen and started.
    bool Show(WindowHandle owner, const std::string& path, Point client) override;

  private:
    // Runs on a worker; returns what is left to do on the UI thread afterwards, if anything.
    using Command = std::function<std::function<void()>()>;
    // Runs `command` on a worker with the wait cursor up until its end reaches the UI thread.
    // False when no worker could be started.
    bool Start(Command command);

    DriveActions& actions_;
    Threads& threads_;
    Language language_;
    std::unique_ptr<QObject> context_;  // receives what workers post to the UI thread
    int running_ = 0;                   // commands whose end has not reached the UI thread yet
    std::uint64_t menus_ = 0;           // counts the menus shown; the last one may be open
    std::function<void()> relabel_;     // relabels the open menu; empty when none is open
};

}  // namespace dravolin::qt

#pragma once
// Archive mode's windows on the UI thread: each disc's progress window, owned by the dialog, and
// the notification-area icon that shows notifications as balloons. The copy-cycle workers reach
// them through Desk(): a worker asks the UI thread to create its window (a window belongs to the
// thread that creates it, and a worker busy reading a disc could not keep one answering), then
// only posts to it, so neither ever waits for the other while a disc is read.
#include <map>
#include <memory>
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/ArchiveDesk.h"

namespace dravolin::win32 {

class Win32ArchiveWindows {
  public:
    // UI thread; `instance` holds the progress window's template, its texts and the icon.
    explicit Win32ArchiveWindows(HINSTANCE instance);
    // UI thread: the progress windows still open and the icon go.
    ~Win32ArchiveWindows();
    Win32ArchiveWindows(const Win32ArchiveWindows&) = delete;
    Win32ArchiveWindows& operator=(const Win32ArchiveWindows&) = delete;

    // Any thread; stays callable after this object is gone, and then shows nothing.
    std::shared_ptr<ArchiveDesk> Desk() const;

    struct Progress;  // one disc's window and what it shows
    struct Link;      // what the workers hold

  private:
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND CreateProgress(HWND owner, std::shared_ptr<Progress> progress);
    void ShowNotices();

    HINSTANCE instance_;
    HWND host_ = nullptr;  // message-only: the workers' way onto the UI thread, the icon's owner
    std::shared_ptr<Link> link_;
    std::map<HWND, std::shared_ptr<Progress>> progress_;
    bool iconShown_ = false;
};

}  // namespace dravolin::win32

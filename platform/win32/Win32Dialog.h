#pragma once
// The dialog's window and the modal host that runs it with DialogBoxParamA. UI thread only.
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include "platform/DialogWindow.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Controls.h"

namespace dravolin::win32 {

// One message being routed to the dialog. Frames nest: a handler may run a modal loop (a shell
// prompt, the folder browser, a popup menu) in which further messages are routed.
struct MessageFrame {
    UINT message = 0;
    bool defaulted = false;  // the handler asked for the framework's default processing
    HDC paintDc = nullptr;   // begun on demand while a WM_PAINT is handled
    PAINTSTRUCT paint{};
};

class Win32DialogWindow : public DialogWindow {
  public:
    explicit Win32DialogWindow(HWND dialog) : dialog_(dialog) {}
    Win32DialogWindow(const Win32DialogWindow&) = delete;
    Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;

    WindowHandle GetHandle() const override;
    ListView& DriveList(int controlId) override;
    ComboBoxEx& TargetCombo(int controlId) override;
    void SetIcon(const Icon& icon, bool big) override;
    void UpdateWindow() override;
    Rect GetClientRect() const override;
    Point ScreenToClient(Point screen) const override;
    bool IsIconic() const override;
    std::uint32_t SetTimer(std::uint32_t id, std::uint32_t milliseconds) override;
    void KillTimer(std::uint32_t id) override;
    void SetMsgResult(std::intptr_t result) override;
    // A dialog procedure cannot call the dialog manager's default processing itself: it asks
    // for it by returning FALSE. Default marks the message being routed so that the dialog
    // procedure returns FALSE for it, and the dialog manager (DefDlgProc, then DefWindowProc)
    // processes it once the handler has returned. WM_DEVMODECHANGE is also passed on to every
    // child window here, as the framework does. Returns 0.
    std::intptr_t Default(std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) override;
    // Both draw on the device context of BeginPaint, begun on first use during a WM_PAINT and
    // ended when its routing ends; outside WM_PAINT they do nothing.
    void EraseIconBackground() override;
    void DrawIcon(Point at, const Icon& icon) override;
    void SetCaption(const std::string& text) override;

    HWND Get() const { return dialog_; }
    MessageFrame* CurrentFrame() const { return frame_; }
    MessageFrame* SwapFrame(MessageFrame* frame) { return std::exchange(frame_, frame); }

  private:
    HDC PaintDc();

    HWND dialog_;
    MessageFrame* frame_ = nullptr;
    std::map<int, std::unique_ptr<Win32ListView>> lists_;
    std::map<int, std::unique_ptr<Win32ComboBoxEx>> combos_;
};

// Runs CCopyDlg from the dialog template IDD_MAIN of `instance`.
class Win32DialogHost : public DialogHost {
  public:
    explicit Win32DialogHost(HINSTANCE instance) : instance_(instance) {}
    std::intptr_t RunModal(CCopyDlg& dialog) override;

  private:
    HINSTANCE instance_;
};

}  // namespace dravolin::win32

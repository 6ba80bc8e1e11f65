#pragma once
#include <cstdint>
#include <string>
#include "platform/ComboBoxEx.h"
#include "platform/Icon.h"
#include "platform/ListView.h"
#include "platform/Types.h"

namespace dravolin {

class CCopyDlg;

// The dialog's window as the platform provides it. UI thread only.
class DialogWindow {
  public:
    virtual ~DialogWindow() = default;
    virtual WindowHandle GetHandle() const = 0;
    // The controls of the template, for data exchange.
    virtual ListView& DriveList(int controlId) = 0;
    virtual ComboBoxEx& TargetCombo(int controlId) = 0;
    virtual void SetIcon(const Icon& icon, bool big) = 0;
    virtual void UpdateWindow() = 0;
    virtual Rect GetClientRect() const = 0;
    virtual Point ScreenToClient(Point screen) const = 0;
    virtual bool IsIconic() const = 0;
    // Poll timer; SetTimer returns the timer's identifier, 0 on failure.
    virtual std::uint32_t SetTimer(std::uint32_t id, std::uint32_t milliseconds) = 0;
    virtual void KillTimer(std::uint32_t id) = 0;
    // The dialog's message-result slot (DWL_MSGRESULT).
    virtual void SetMsgResult(std::intptr_t result) = 0;
    // The framework's default processing of the message being routed.
    virtual std::intptr_t Default(std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) = 0;
    // Painting of the minimised window: erase the icon background, draw an icon.
    virtual void EraseIconBackground() = 0;
    virtual void DrawIcon(Point at, const Icon& icon) = 0;
    // The window's title, changed only in archive mode; a platform without the mode keeps the
    // template's caption.
    virtual void SetCaption(const std::string& /*text*/) {}
};

// Runs a dialog modally: creates its window, initialises it, routes its messages until it closes.
class DialogHost {
  public:
    virtual ~DialogHost() = default;
    virtual std::intptr_t RunModal(CCopyDlg& dialog) = 0;
};

}  // namespace dravolin

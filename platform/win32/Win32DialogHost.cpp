// The modal dialog: DialogBoxParamA with a dialog procedure that hands every message to
// CCopyDlg, the way the framework's dialog does.
#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "platform/win32/Win32Dialog.h"

namespace dravolin::win32 {

namespace {

struct ModalState {
    CCopyDlg* dialog = nullptr;
    std::unique_ptr<Win32DialogWindow> window;
};

// Routes one message in a frame of its own; ends the paint begun for it, if any.
class MessageScope {
  public:
    MessageScope(Win32DialogWindow& window, UINT message) : window_(window) {
        frame_.message = message;
        previous_ = window_.SwapFrame(&frame_);
    }
    ~MessageScope() {
        if (frame_.paintDc != nullptr) ::EndPaint(window_.Get(), &frame_.paint);
        window_.SwapFrame(previous_);
    }
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;
    bool Defaulted() const { return frame_.defaulted; }

  private:
    Win32DialogWindow& window_;
    MessageFrame frame_;
    MessageFrame* previous_ = nullptr;
};

// The messages whose answer a dialog procedure returns itself instead of through
// DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
    switch (message) {
        case WM_CHARTOITEM:
        case WM_COMPAREITEM:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_INITDIALOG:
        case WM_QUERYDRAGICON:
        case WM_VKEYTOITEM:
            return true;
        default:
            return false;
    }
}

bool IsCancelCommand(UINT message, WPARAM wParam) {
    return message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED;
}

INT_PTR Route(ModalState& state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::intptr_t result = 0;
    bool handled = false;
    bool defaulted = false;
    {
        MessageScope scope(*state.window, message);
        handled = state.dialog->OnWndMsg(message, wParam, lParam, &result);
        defaulted = scope.Defaulted();
    }
    if (!handled) {
        // Exit, Escape and the close box: the framework ends the modal dialog.
        if (IsCancelCommand(message, wParam)) {
            ::EndDialog(hwnd, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    if (defaulted) return FALSE;
    if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR InitDialog(HWND hwnd, LPARAM lParam) {
    auto* state = reinterpret_cast<ModalState*>(lParam);
    ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    state->window = std::make_unique<Win32DialogWindow>(hwnd);
    state->dialog->Attach(*state->window);
    MessageScope scope(*state->window, WM_INITDIALOG);
    return state->dialog->OnInitDialog() ? TRUE : FALSE;
}

// An exception must not unwind through the window manager's frames. As the framework's message
// dispatch does, it ends the handling of the message that raised it; a paint that failed is
// validated so that it is not asked for again at once. Nothing is shown.
INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) return InitDialog(hwnd, lParam);
        auto* state = reinterpret_cast<ModalState*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
        if (state == nullptr || !state->window) return FALSE;  // before WM_INITDIALOG
        const INT_PTR answer = Route(*state, hwnd, message, wParam, lParam);
        if (message == WM_NCDESTROY) ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        return answer;
    } catch (...) {
        if (message == WM_PAINT) ::ValidateRect(hwnd, nullptr);
        return FALSE;
    }
}

}  // namespace

std::intptr_t Win32DialogHost::RunModal(CCopyDlg& dialog) {
    ModalState state;
    state.dialog = &dialog;
    return ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_MAIN), nullptr, DialogProc,
                             reinterpret_cast<LPARAM>(&state));
}

}  // namespace dravolin::win32

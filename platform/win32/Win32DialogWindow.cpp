#include "platform/win32/Win32Dialog.h"

namespace dravolin::win32 {

namespace {

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

BOOL CALLBACK SendToChild(HWND child, LPARAM param) {
    const auto* message = reinterpret_cast<const Message*>(param);
    ::SendMessageA(child, message->message, message->wParam, message->lParam);
    return TRUE;
}

}  // namespace

WindowHandle Win32DialogWindow::GetHandle() const {
    return reinterpret_cast<WindowHandle>(dialog_);
}

ListView& Win32DialogWindow::DriveList(int controlId) {
    auto& list = lists_[controlId];
    if (!list) list = std::make_unique<Win32ListView>(::GetDlgItem(dialog_, controlId));
    return *list;
}

ComboBoxEx& Win32DialogWindow::TargetCombo(int controlId) {
    auto& combo = combos_[controlId];
    if (!combo) combo = std::make_unique<Win32ComboBoxEx>(::GetDlgItem(dialog_, controlId));
    return *combo;
}

void Win32DialogWindow::SetIcon(const Icon& icon, bool big) {
    ::SendMessageA(dialog_, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                   static_cast<LPARAM>(icon.Handle()));
}

// The caption is one of the program's own strings, in the ANSI code page.
void Win32DialogWindow::SetCaption(const std::string& text) {
    ::SetWindowTextA(dialog_, text.c_str());
}

void Win32DialogWindow::UpdateWindow() {
    ::UpdateWindow(dialog_);
}

Rect Win32DialogWindow::GetClientRect() const {
    RECT rect{};
    ::GetClientRect(dialog_, &rect);
    return Rect{rect.left, rect.top, rect.right, rect.bottom};
}

Point Win32DialogWindow::ScreenToClient(Point screen) const {
    POINT point{screen.x, screen.y};
    ::ScreenToClient(dialog_, &point);
    return Point{point.x, point.y};
}

bool Win32DialogWindow::IsIconic() const {
    return ::IsIconic(dialog_) != FALSE;
}

// No callback: the ticks arrive as WM_TIMER messages to the dialog.
std::uint32_t Win32DialogWindow::SetTimer(std::uint32_t id, std::uint32_t milliseconds) {
    return static_cast<std::uint32_t>(::SetTimer(dialog_, id, milliseconds, nullptr));
}

void Win32DialogWindow::KillTimer(std::uint32_t id) {
    ::KillTimer(dialog_, id);
}

void Win32DialogWindow::SetMsgResult(std::intptr_t result) {
    ::SetWindowLongPtrA(dialog_, DWLP_MSGRESULT, result);
}

std::intptr_t Win32DialogWindow::Default(std::uint32_t message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
    if (frame_ != nullptr && frame_->message == message) frame_->defaulted = true;
    if (message == WM_DEVMODECHANGE) {
        Message forwarded{message, wParam, lParam};
        ::EnumChildWindows(dialog_, SendToChild, reinterpret_cast<LPARAM>(&forwarded));
    }
    return 0;
}

HDC Win32DialogWindow::PaintDc() {
    if (frame_ == nullptr || frame_->message != WM_PAINT) return nullptr;
    if (frame_->paintDc == nullptr) frame_->paintDc = ::BeginPaint(dialog_, &frame_->paint);
    return frame_->paintDc;
}

void Win32DialogWindow::EraseIconBackground() {
    if (HDC dc = PaintDc())
        ::SendMessageA(dialog_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
}

void Win32DialogWindow::DrawIcon(Point at, const Icon& icon) {
    if (HDC dc = PaintDc()) ::DrawIcon(dc, at.x, at.y, reinterpret_cast<HICON>(icon.Handle()));
}

}  // namespace dravolin::win32

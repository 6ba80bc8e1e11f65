#include "platform/win32/Win32Controls.h"

namespace dravolin::win32 {

namespace {

LPARAM ToLParam(const void* pointer) {
    return reinterpret_cast<LPARAM>(pointer);
}

// The list-view messages take the text as a non-const pointer even when they only read it.
LPSTR TextArg(const std::string& text) {
    return const_cast<LPSTR>(text.c_str());
}

}  // namespace

std::uint32_t Win32ListView::GetExtendedStyle() const {
    return static_cast<std::uint32_t>(::SendMessageA(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

// A mask of 0 applies every bit of `styles`, as the caller passes the whole new style.
void Win32ListView::SetExtendedStyle(std::uint32_t styles) {
    ::SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(styles));
}

Rect Win32ListView::GetClientRect() const {
    RECT rect{};
    ::GetClientRect(list_, &rect);
    return Rect{rect.left, rect.top, rect.right, rect.bottom};
}

int Win32ListView::InsertColumn(int column, const std::string& title, int width) {
    LVCOLUMNA col{};
    col.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    col.fmt = LVCFMT_LEFT;
    col.cx = width;
    col.pszText = TextArg(title);
    return static_cast<int>(::SendMessageA(list_, LVM_INSERTCOLUMNA, column, ToLParam(&col)));
}

void Win32ListView::SetImageList(ImageList* images, int which) {
    ::SendMessageA(list_, LVM_SETIMAGELIST, which, ToLParam(NativeImageList(images)));
}

int Win32ListView::GetItemCount() const {
    return static_cast<int>(::SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

int Win32ListView::InsertItem(int row, DriveEntry* param) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = ToLParam(param);
    return static_cast<int>(::SendMessageA(list_, LVM_INSERTITEMA, 0, ToLParam(&item)));
}

DriveEntry* Win32ListView::GetItemParam(int row) const {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!::SendMessageA(list_, LVM_GETITEMA, 0, ToLParam(&item))) return nullptr;
    return reinterpret_cast<DriveEntry*>(item.lParam);
}

bool Win32ListView::SetItemTextAndImage(int row, const std::string& text, int image) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = TextArg(text);
    item.iImage = image;
    return ::SendMessageA(list_, LVM_SETITEMA, 0, ToLParam(&item)) != FALSE;
}

bool Win32ListView::SetItemText(int row, int column, const std::string& text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = TextArg(text);
    return ::SendMessageA(list_, LVM_SETITEMTEXTA, row, ToLParam(&item)) != FALSE;
}

std::uint32_t Win32ListView::GetItemState(int row, std::uint32_t mask) const {
    return static_cast<std::uint32_t>(::SendMessageA(list_, LVM_GETITEMSTATE, row, mask));
}

bool Win32ListView::SetItemState(int row, std::uint32_t state, std::uint32_t mask) {
    LVITEMA item{};
    item.stateMask = mask;
    item.state = state;
    return ::SendMessageA(list_, LVM_SETITEMSTATE, row, ToLParam(&item)) != FALSE;
}

Point Win32ListView::ScreenToClient(Point screen) const {
    POINT point{screen.x, screen.y};
    ::ScreenToClient(list_, &point);
    return Point{point.x, point.y};
}

// The hit-test flags are not examined: with full-row selection any part of a row counts.
int Win32ListView::HitTest(Point client) const {
    LVHITTESTINFO info{};
    info.pt = POINT{client.x, client.y};
    return static_cast<int>(::SendMessageA(list_, LVM_HITTEST, 0, ToLParam(&info)));
}

}  // namespace dravolin::win32

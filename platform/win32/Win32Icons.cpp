#include "platform/win32/Win32Controls.h"

namespace dravolin::win32 {

Win32Icon::~Win32Icon() {
    if (icon_ != nullptr && !shared_) ::DestroyIcon(icon_);
}

Win32ImageList::~Win32ImageList() {
    if (list_ != nullptr) ::ImageList_Destroy(list_);
}

int Win32ImageList::GetImageCount() const {
    return ::ImageList_GetImageCount(list_);
}

// The list keeps its own copy of the icon; the caller still owns `icon`.
int Win32ImageList::ReplaceIcon(int index, const Icon& icon) {
    return ::ImageList_ReplaceIcon(list_, index, reinterpret_cast<HICON>(icon.Handle()));
}

bool Win32ImageList::Remove(int index) {
    return ::ImageList_Remove(list_, index) != FALSE;
}

HIMAGELIST NativeImageList(ImageList* images) {
    auto* native = dynamic_cast<Win32ImageList*>(images);
    return native != nullptr ? native->Get() : nullptr;
}

}  // namespace dravolin::win32

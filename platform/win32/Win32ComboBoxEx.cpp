#include <algorithm>
#include <vector>
#include "platform/win32/Win32Controls.h"

namespace dravolin::win32 {

namespace {

LPARAM ToLParam(const void* pointer) {
    return reinterpret_cast<LPARAM>(pointer);
}

}  // namespace

std::string WindowTextOf(HWND window) {
    const int length = ::GetWindowTextLengthA(window);
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(window, buffer.data(), length + 1);
    return std::string(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

int Win32ComboBoxEx::GetCount() const {
    return static_cast<int>(::SendMessageA(combo_, CB_GETCOUNT, 0, 0));
}

std::string Win32ComboBoxEx::GetItemText(int index) const {
    const LRESULT length = ::SendMessageA(combo_, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied = ::SendMessageA(combo_, CB_GETLBTEXT, index, ToLParam(buffer.data()));
    if (copied == CB_ERR || copied <= 0) return std::string();
    // The length asked first is an upper bound; the copy's own count is the text.
    return std::string(buffer.data(),
                       std::min<std::size_t>(static_cast<std::size_t>(copied), buffer.size() - 1));
}

std::string Win32ComboBoxEx::GetWindowText() const {
    return WindowTextOf(combo_);
}

void Win32ComboBoxEx::SetWindowText(const std::string& text) {
    ::SetWindowTextA(combo_, text.c_str());
}

bool Win32ComboBoxEx::DeleteItem(int index) {
    return ::SendMessageA(combo_, CBEM_DELETEITEM, index, 0) != CB_ERR;
}

// The control starts after `start` and wraps; it ignores letter case because the extended
// style CBES_EX_CASESENSITIVE is not set.
int Win32ComboBoxEx::FindStringExact(int start, const std::string& text) const {
    return static_cast<int>(
        ::SendMessageA(combo_, CB_FINDSTRINGEXACT, start, ToLParam(text.c_str())));
}

int Win32ComboBoxEx::InsertItem(int index, const std::string& text) {
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<LPSTR>(text.c_str());
    return static_cast<int>(::SendMessageA(combo_, CBEM_INSERTITEMA, 0, ToLParam(&item)));
}

bool Win32ComboBoxEx::SetItemImages(int index, int image, int selectedImage) {
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = index;
    item.iImage = image;
    item.iSelectedImage = selectedImage;
    return ::SendMessageA(combo_, CBEM_SETITEMA, 0, ToLParam(&item)) != FALSE;
}

int Win32ComboBoxEx::SetCurSel(int index) {
    return static_cast<int>(::SendMessageA(combo_, CB_SETCURSEL, index, 0));
}

void Win32ComboBoxEx::SetImageList(ImageList* images) {
    ::SendMessageA(combo_, CBEM_SETIMAGELIST, 0, ToLParam(NativeImageList(images)));
}

WindowHandle Win32ComboBoxEx::GetEditControl() const {
    return static_cast<WindowHandle>(::SendMessageA(combo_, CBEM_GETEDITCONTROL, 0, 0));
}

void Win32ComboBoxEx::UpdateWindow() {
    ::UpdateWindow(combo_);
}

}  // namespace dravolin::win32

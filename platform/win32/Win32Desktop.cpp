#include "platform/win32/Win32Desktop.h"

#include <vector>
#include "platform/win32/Win32Controls.h"

namespace dravolin::win32 {

void Win32Desktop::InitCommonControls() {
    ::InitCommonControls();
}

Point Win32Desktop::GetCursorPos() const {
    POINT point{};
    ::GetCursorPos(&point);
    return Point{point.x, point.y};
}

int Win32Desktop::GetSystemMetrics(int index) const {
    return ::GetSystemMetrics(index);
}

std::uint32_t Win32Desktop::RegisterWindowMessage(const std::string& name) {
    return ::RegisterWindowMessageA(name.c_str());
}

std::unique_ptr<ImageList> Win32Desktop::CreateImageList(int cx, int cy, std::uint32_t flags,
                                                         int initial, int grow) {
    HIMAGELIST list = ::ImageList_Create(cx, cy, flags, initial, grow);
    if (list == nullptr) return nullptr;
    return std::make_unique<Win32ImageList>(list);
}

std::string Win32Resources::LoadString(std::uint32_t id) const {
    // LoadStringA truncates to the buffer; a full buffer means the string may be longer.
    for (std::size_t size = 256; size <= 65536; size *= 4) {
        std::vector<char> buffer(size, '\0');
        const int length = ::LoadStringA(instance_, id, buffer.data(), static_cast<int>(size));
        if (length <= 0) return std::string();
        if (static_cast<std::size_t>(length) < size - 1) return std::string(buffer.data(), length);
    }
    return std::string();
}

IconPtr Win32Resources::LoadIcon(std::uint32_t id) const {
    HICON icon = ::LoadIconA(instance_, MAKEINTRESOURCEA(id));
    if (icon == nullptr) return nullptr;
    return std::make_unique<Win32Icon>(icon, true);
}

}  // namespace dravolin::win32

#include "platform/win32/Win32Texts.h"

#include <vector>

namespace dravolin::win32 {

std::wstring LoadWideString(HINSTANCE instance, UINT id) {
    // With no buffer, LoadStringW gives the resource's own text, which has no terminator.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length))
                              : std::wstring();
}

std::wstring FillIn(const std::wstring& text, std::initializer_list<std::wstring> values) {
    const std::vector<std::wstring> byNumber(values);
    std::wstring filled;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == L'%' && at + 1 < text.size() && text[at + 1] >= L'1' &&
            text[at + 1] <= L'9') {
            const auto index = static_cast<std::size_t>(text[at + 1] - L'1');
            if (index < byNumber.size()) {
                filled += byNumber[index];
                ++at;
                continue;
            }
        }
        filled += text[at];
    }
    return filled;
}

}  // namespace dravolin::win32

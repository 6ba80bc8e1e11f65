#include "platform/win32/archive/WideText.h"

#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

namespace {

std::wstring Convert(UINT codePage, DWORD flags, std::string_view text, bool* valid) {
    if (valid) *valid = true;
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (units <= 0) {
        if (valid) *valid = false;
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), units);
    return wide;
}

// The length of the UTF-8 sequence of more than one byte at `at`, 0 when there is none.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                                                        : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    bool valid = false;
    Convert(CP_UTF8, MB_ERR_INVALID_CHARS, text.substr(at, length), &valid);
    return valid ? length : 0;
}

}  // namespace

std::wstring WideFromAnsi(std::string_view text) {
    return Convert(CP_ACP, 0, text, nullptr);
}

std::wstring WideFromUtf8(std::string_view text, bool* valid) {
    return Convert(CP_UTF8, MB_ERR_INVALID_CHARS, text, valid);
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

std::wstring WideFromMixed(std::string_view text) {
    std::wstring wide;
    std::size_t ansiFrom = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = Utf8SequenceAt(text, at);
        if (length == 0) {
            ++at;
            continue;
        }
        wide += WideFromAnsi(text.substr(ansiFrom, at - ansiFrom));
        wide += WideFromUtf8(text.substr(at, length));
        at += length;
        ansiFrom = at;
    }
    wide += WideFromAnsi(text.substr(ansiFrom));
    return wide;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    const wchar_t last = folder.back();
    return last == L'\\' || last == L'/' ? folder + name : folder + L'\\' + name;
}

std::wstring LongPath(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || path.starts_with(L"\\\\?\\")) return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

}  // namespace dravolin::win32

#include "platform/win32/AnsiToWide.h"

#include <cstdlib>

namespace dravolin::win32 {

namespace {

bool IsNt5OrLater() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&version)) return false;
#pragma GCC diagnostic pop
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

UINT LocaleAnsiCodePage() {
    char digits[7] = {};
    if (::GetLocaleInfoA(::GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof(digits)) >
        0) {
        const UINT codePage = static_cast<UINT>(std::strtoul(digits, nullptr, 10));
        if (codePage != 0) return codePage;
    }
    return ::GetACP();
}

}  // namespace

UINT ThreadAnsiCodePage::Get() {
    UINT codePage = chosen_.load();
    if (codePage != 0) return codePage;
    codePage = IsNt5OrLater() ? CP_THREAD_ACP : LocaleAnsiCodePage();
    chosen_.exchange(codePage);
    return codePage;
}

HRESULT HResultFromError(DWORD error) {
    const auto code = static_cast<HRESULT>(error);
    if (code <= 0) return code;
    return static_cast<HRESULT>((error & 0x0000FFFFu) | 0x80070000u);
}

AnsiToWide::AnsiToWide(const char* text, UINT codePage) {
    const int units = ::lstrlenA(text) + 1;  // with the terminator
    if (units > kInlineUnits) {
        heap_ = std::make_unique<WCHAR[]>(static_cast<std::size_t>(units));
        text_ = heap_.get();
    }
    text_[0] = L'\0';
    if (::MultiByteToWideChar(codePage, 0, text, units, text_, units) == 0) {
        throw ConversionError(HResultFromError(::GetLastError()));
    }
}

}  // namespace dravolin::win32

#include "platform/win32/archive/WindowsNames.h"

#include <array>
#include <set>
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

namespace {

constexpr std::wstring_view kForbidden = L"<>:\"/\\|?*";
constexpr std::wstring_view kTempPrefix = L".dravolin-";

bool IsHigh(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Windows compares names by each unit's upper case.
std::wstring Folded(std::wstring_view name) {
    std::wstring folded(name);
    if (!folded.empty()) ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    return folded;
}

// The device name `name` starts with, if the rest is an extension or blanks; 0 when none.
std::size_t DeviceNameLength(std::wstring_view name) {
    std::wstring_view stem = name.substr(0, std::min(name.find(L'.'), name.size()));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    const std::wstring upper = Folded(stem);
    static constexpr std::array<std::wstring_view, 6> kPlain = {L"CON", L"PRN",    L"AUX",
                                                                L"NUL", L"CONIN$", L"CONOUT$"};
    for (const std::wstring_view device : kPlain) {
        if (upper == device) return stem.size();
    }
    constexpr std::wstring_view kDigits = L"0123456789\u00B9\u00B2\u00B3";
    if (upper.size() == 4 && (upper.starts_with(L"COM") || upper.starts_with(L"LPT")) &&
        kDigits.find(upper[3]) != std::wstring_view::npos) {
        return stem.size();
    }
    return 0;
}

// Cuts a name to `length` units, keeping a short extension and never splitting a pair.
std::wstring Cut(const std::wstring& name, std::size_t length) {
    if (name.size() <= length) return name;
    const std::size_t dot = name.rfind(L'.');
    std::wstring extension;
    if (dot != std::wstring::npos && dot > 0 && name.size() - dot <= 16) {
        extension = name.substr(dot);
    }
    std::size_t keep = length - extension.size();
    if (keep > 0 && IsHigh(name[keep - 1])) --keep;
    return name.substr(0, keep) + extension;
}

// `name` with " (n)" before its extension, within kMaxNameLength.
std::wstring Numbered(const std::wstring& name, int n) {
    const std::wstring suffix = L" (" + std::to_wstring(n) + L")";
    std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) dot = name.size();
    std::wstring stem = name.substr(0, dot);
    const std::wstring extension = name.substr(dot);
    const std::size_t room = kMaxNameLength - suffix.size() - extension.size();
    if (stem.size() > room) {
        stem.resize(room);
        if (!stem.empty() && IsHigh(stem.back())) stem.pop_back();
    }
    return stem + suffix + extension;
}

}  // namespace

std::wstring StoredName(std::wstring_view discName) {
    std::wstring name;
    name.reserve(discName.size() + 2);
    for (std::size_t i = 0; i < discName.size(); ++i) {
        const wchar_t c = discName[i];
        const bool paired = (IsHigh(c) && i + 1 < discName.size() && IsLow(discName[i + 1])) ||
                            (IsLow(c) && i > 0 && IsHigh(discName[i - 1]));
        const bool lone = (IsHigh(c) || IsLow(c)) && !paired;
        if (c < 0x20 || kForbidden.find(c) != std::wstring_view::npos || lone) {
            name += L'_';
        } else {
            name += c;
        }
    }
    // Room for the "_" the rules below may add.
    name = Cut(name, kMaxNameLength - 1);
    for (std::size_t end = name.size(); end > 0 && (name[end - 1] == L'.' || name[end - 1] == L' ');
         --end) {
        name[end - 1] = L'_';
    }
    if (name.empty()) return L"_";
    if (const std::size_t device = DeviceNameLength(name)) {
        name.insert(device, 1, L'_');
    } else if (Folded(name).starts_with(Folded(kTempPrefix))) {
        name.insert(0, 1, L'_');
    }
    return name;
}

std::vector<std::wstring> StoredNames(const std::vector<std::wstring>& discNames) {
    std::vector<std::wstring> stored(discNames.size());
    std::set<std::wstring> taken;  // folded
    std::vector<std::size_t> later;
    for (std::size_t i = 0; i < discNames.size(); ++i) {
        std::wstring name = StoredName(discNames[i]);
        if (name == discNames[i] && taken.insert(Folded(name)).second) {
            stored[i] = std::move(name);
        } else {
            later.push_back(i);
        }
    }
    for (const std::size_t i : later) {
        const std::wstring name = StoredName(discNames[i]);
        std::wstring candidate = name;
        for (int n = 2; !taken.insert(Folded(candidate)).second; ++n) {
            candidate = Numbered(name, n);
        }
        stored[i] = std::move(candidate);
    }
    return stored;
}

std::wstring ExtendedLengthPath(std::wstring_view fullPath) {
    std::wstring path(fullPath);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
    if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + std::wstring(name);
}

}  // namespace dravolin::win32

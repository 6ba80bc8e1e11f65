#include "platform/win32/archive/TargetClaims.h"

#include <algorithm>
#include <cstdint>
#include "archive/SameDisc.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/Sha256.h"
#include "platform/win32/archive/WideText.h"

namespace dravolin::win32 {

namespace {

constexpr DWORD kMaxBagInfoBytes = 64 * 1024;

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

std::string ReadSmallFile(const std::wstring& path) {
    const UniqueHandle file(::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return {};
    }
    std::string text(kMaxBagInfoBytes, '\0');
    DWORD done = 0;
    if (!::ReadFile(file.Get(), text.data(), kMaxBagInfoBytes, &done, nullptr)) return {};
    text.resize(done);
    return text;
}

// Closes a FindFirstFileW search.
class Search {
  public:
    Search(const std::wstring& pattern, WIN32_FIND_DATAW& found)
        : handle_(::FindFirstFileW(pattern.c_str(), &found)) {}
    ~Search() {
        if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAW& found) { return ::FindNextFileW(handle_, &found) != 0; }

  private:
    HANDLE handle_;
};

template <typename T>
void AddValue(Sha256& hash, const T& value) {
    hash.Add(&value, sizeof value);
}

// The claims file's byte at `offset`, locked while the handle is open.
UniqueHandle LockClaimsByte(const std::wstring& target, std::uint64_t offset) {
    UniqueHandle file(::CreateFileW(
        LongPath(JoinPath(target, kClaimsFileName)).c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid()) return file;
    // A handle opened for synchronous use: the call returns once the byte is locked.
    OVERLAPPED at = At(offset);
    if (!::LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) return UniqueHandle();
    return file;
}

}  // namespace

UniqueHandle ClaimDisc(const std::wstring& target, std::string_view identity) {
    return LockClaimsByte(target, archive::ClaimByte(identity));
}

UniqueHandle TakePageTurn(const std::wstring& target) {
    return LockClaimsByte(target, archive::kPageTurnByte);
}

std::vector<Archiver::BagInfoText> ReadBagInfos(const std::wstring& target) {
    std::vector<Archiver::BagInfoText> bags;
    WIN32_FIND_DATAW found{};
    Search search(LongPath(JoinPath(target, L"*")), found);
    if (!search.Valid()) return bags;
    do {
        const std::wstring name = found.cFileName;
        if (name.empty() || name.front() == L'.') continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        std::string text =
            ReadSmallFile(LongPath(JoinPath(JoinPath(target, name), L"bag-info.txt")));
        if (!text.empty()) bags.push_back({Utf8FromWide(name), std::move(text)});
    } while (search.Next(found));
    return bags;
}

std::string VolumeDigest(const std::wstring& root) {
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t system[MAX_PATH + 1] = {};
    DWORD serial = 0, longestName = 0, flags = 0;
    ULARGE_INTEGER total{};
    if (!::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, &longestName, &flags,
                                 system, MAX_PATH + 1) ||
        !::GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr)) {
        return {};
    }
    // The root's entries in name order: the order a folder lists them in is the file system's.
    std::vector<std::wstring> entries;
    WIN32_FIND_DATAW found{};
    Search search(root + L"*", found);
    if (!search.Valid() && ::GetLastError() != ERROR_FILE_NOT_FOUND) return {};
    if (search.Valid()) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring entry = name;
            entry.push_back(L'\0');
            for (const DWORD value :
                 {found.dwFileAttributes, found.nFileSizeHigh, found.nFileSizeLow,
                  found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime,
                  found.ftCreationTime.dwHighDateTime, found.ftCreationTime.dwLowDateTime}) {
                entry.push_back(static_cast<wchar_t>(value >> 16));
                entry.push_back(static_cast<wchar_t>(value & 0xFFFF));
            }
            entries.push_back(std::move(entry));
        } while (search.Next(found));
    }
    std::sort(entries.begin(), entries.end());
    Sha256 hash;
    hash.Add("win32 volume", 12);
    AddValue(hash, serial);
    AddValue(hash, longestName);
    AddValue(hash, flags);
    AddValue(hash, total.QuadPart);
    hash.Add(label, (std::wcslen(label) + 1) * sizeof(wchar_t));
    hash.Add(system, (std::wcslen(system) + 1) * sizeof(wchar_t));
    for (const std::wstring& entry : entries) {
        hash.Add(entry.data(), (entry.size() + 1) * sizeof(wchar_t));
    }
    return hash.Finish().value_or(std::string());
}

}  // namespace dravolin::win32

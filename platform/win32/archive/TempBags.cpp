#include "platform/win32/archive/TempBags.h"

#include <cwchar>
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/WindowsNames.h"

namespace dravolin::win32 {

namespace {

constexpr std::wstring_view kPrefix = L".dravolin-";
constexpr std::wstring_view kSuffix = L".part";
constexpr wchar_t kLockName[] = L".dravolin-lock";

std::optional<std::uint64_t> Hex(std::wstring_view text) {
    if (text.empty() || text.size() > 16) return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        int digit = -1;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return value;
}

// Only a process number that names no process is surely gone.
bool IsGone(std::uint32_t process) {
    const UniqueHandle handle(::OpenProcess(SYNCHRONIZE, FALSE, process));
    if (!handle.Valid()) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    return ::WaitForSingleObject(handle.Get(), 0) == WAIT_OBJECT_0;
}

bool TakeLock(HANDLE file) {
    OVERLAPPED at{};
    return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
}

// True when the bag's writer is surely gone by its lock too. A folder without its lock file
// that is empty is removed here; one that is not empty may be a bag about to be published
// (its lock file already removed under the new name is never seen here), so it stays.
bool LockIsFree(const std::wstring& bag) {
    const UniqueHandle lock(::CreateFileW(BagLockPath(bag).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock.Valid()) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) ::RemoveDirectoryW(bag.c_str());
        return false;
    }
    return TakeLock(lock.Get());
}

}  // namespace

std::wstring BagLockPath(const std::wstring& bag) {
    return JoinPath(bag, kLockName);
}

UniqueHandle LockBag(const std::wstring& bag, unsigned long& error) {
    // Shared for deleting, so that the folder can be renamed with the lock held inside.
    UniqueHandle lock(::CreateFileW(BagLockPath(bag).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock.Valid()) {
        error = ::GetLastError();
        return lock;
    }
    if (!TakeLock(lock.Get())) {
        error = ::GetLastError();
        lock.Reset();
    }
    return lock;
}

BagOwner ThisWriter() {
    wchar_t name[256] = {};
    DWORD length = static_cast<DWORD>(std::size(name));
    if (!::GetComputerNameExW(ComputerNamePhysicalDnsHostname, name, &length)) length = 0;
    // FNV-1a: the same on every run, unlike std::hash.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (DWORD i = 0; i < length; ++i) {
        hash = (hash ^ static_cast<std::uint64_t>(name[i])) * 0x100000001b3ull;
    }
    return BagOwner{hash, static_cast<std::uint32_t>(::GetCurrentProcessId())};
}

std::wstring TempBagName(const BagOwner& owner, std::uint64_t random) {
    wchar_t name[80] = {};
    std::swprintf(name, std::size(name), L".dravolin-%llx-%lx-%llx.part",
                  static_cast<unsigned long long>(owner.machine),
                  static_cast<unsigned long>(owner.process),
                  static_cast<unsigned long long>(random));
    return name;
}

std::optional<BagOwner> OwnerOfTempBag(std::wstring_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
    name = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    const std::size_t first = name.find(L'-');
    const std::size_t second = name.find(L'-', first + 1);
    if (first == std::wstring_view::npos || second == std::wstring_view::npos) return std::nullopt;
    const auto machine = Hex(name.substr(0, first));
    const auto process = Hex(name.substr(first + 1, second - first - 1));
    const auto random = Hex(name.substr(second + 1));
    if (!machine || !process || !random || *process > 0xffffffffu) return std::nullopt;
    return BagOwner{*machine, static_cast<std::uint32_t>(*process)};
}

void RemoveStaleBags(const std::wstring& target) {
    const BagOwner self = ThisWriter();
    WIN32_FIND_DATAW found{};
    const HANDLE find =
        ::FindFirstFileExW(JoinPath(target, L".dravolin-*").c_str(), FindExInfoBasic, &found,
                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const DWORD attributes = found.dwFileAttributes;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            continue;
        }
        const std::optional<BagOwner> owner = OwnerOfTempBag(found.cFileName);
        if (owner && owner->machine == self.machine && owner->process != self.process &&
            IsGone(owner->process)) {
            const std::wstring bag = JoinPath(target, found.cFileName);
            if (LockIsFree(bag)) RemoveTree(bag);
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileExW(JoinPath(path, L"*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = JoinPath(path, name);
            const DWORD attributes = found.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
                continue;
            }
            if (attributes & FILE_ATTRIBUTE_READONLY) {
                ::SetFileAttributesW(child.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
            }
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(child.c_str());
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path.c_str());
}

}  // namespace dravolin::win32

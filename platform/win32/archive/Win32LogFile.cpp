#include "platform/win32/archive/Win32LogFile.h"

#include <chrono>
#include <thread>
#include "platform/win32/Handles.h"
#include "platform/win32/archive/WideText.h"

namespace dravolin::win32 {

namespace {

// A log this long holds hundreds of thousands of discs; anything longer is not ours.
constexpr std::uint64_t kLongestLog = 256u << 20;

std::wstring PathOf(const std::wstring& folder) {
    return LongPath(JoinPath(folder, WideFromUtf8(archive::kLogFileName)));
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// The whole file, also past its end, locked while the object lives.
class FileLock {
  public:
    // Another program may hold the lock for as long as it likes; a drive waits a while, then
    // goes on without it rather than stand still.
    FileLock(HANDLE file, bool exclusive) : file_(file) {
        const DWORD flags =
            LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : DWORD{0});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            OVERLAPPED whole = At(0);
            if (::LockFileEx(file_, flags, 0, MAXDWORD, MAXDWORD, &whole)) {
                held_ = true;
                return;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return;
            if (std::chrono::steady_clock::now() > deadline) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~FileLock() {
        OVERLAPPED whole = At(0);
        if (held_) ::UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &whole);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return held_; }

  private:
    HANDLE file_;
    bool held_ = false;
};

// A plain file, never a folder or a link someone put in the log's place.
bool IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

UniqueHandle Open(const std::wstring& path, DWORD access, DWORD disposition) {
    return UniqueHandle(::CreateFileW(
        path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool ReadAt(HANDLE file, char* data, DWORD size, std::uint64_t offset, DWORD* done) {
    OVERLAPPED at = At(offset);
    *done = 0;
    return ::ReadFile(file, data, size, done, &at) != FALSE;
}

long long WriteAt(HANDLE file, const char* data, DWORD size, std::uint64_t offset) {
    OVERLAPPED at = At(offset);
    DWORD done = 0;
    if (!::WriteFile(file, data, size, &done, &at)) return -1;
    return done;
}

bool CutBack(HANDLE file, std::uint64_t size) {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file) &&
           ::FlushFileBuffers(file);
}

}  // namespace

std::string ReadLogFile(const std::wstring& folder) {
    const UniqueHandle file = Open(PathOf(folder), GENERIC_READ, OPEN_EXISTING);
    if (!file.Valid() || !IsPlainFile(file.Get())) return {};
    const FileLock lock(file.Get(), false);
    LARGE_INTEGER size{};
    if (!lock.Held() || !::GetFileSizeEx(file.Get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) > kLongestLog) {
        return {};
    }
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD read = 0;
        if (!ReadAt(file.Get(), text.data() + done, static_cast<DWORD>(text.size() - done), done,
                    &read) ||
            read == 0) {
            break;
        }
        done += read;
    }
    text.resize(done);
    return text;
}

bool AppendLogRow(const std::wstring& folder, const archive::LogRow& row, const LogWrite& write) {
    // Made ready by the copy cycle, but a disc that got no bag may be the first to arrive.
    const int made = ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        return false;
    }
    const UniqueHandle file = Open(PathOf(folder), GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (!file.Valid() || !IsPlainFile(file.Get())) return false;
    const FileLock lock(file.Get(), true);
    LARGE_INTEGER length{};
    if (!lock.Held() || !::GetFileSizeEx(file.Get(), &length)) return false;
    const auto size = static_cast<std::uint64_t>(length.QuadPart);
    // Only the last byte tells whether the log is new or was torn.
    std::string end;
    if (size > 0) {
        char last = 0;
        DWORD read = 0;
        if (!ReadAt(file.Get(), &last, 1, size - 1, &read) || read != 1) return false;
        end.assign(1, last);
    }
    const std::string text = archive::AppendText(end, row);
    std::size_t written = 0;
    while (written < text.size()) {
        const char* data = text.data() + written;
        const auto left = static_cast<DWORD>(text.size() - written);
        const long long n = write ? write(file.Get(), data, left, size + written)
                                  : WriteAt(file.Get(), data, left, size + written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    // The log's name needs no flush of its folder: NTFS journals it with the file's own.
    if (written < text.size() || !::FlushFileBuffers(file.Get())) {
        CutBack(file.Get(), size);
        return false;
    }
    return true;
}

}  // namespace dravolin::win32

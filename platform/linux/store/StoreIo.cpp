#include "platform/linux/store/StoreIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <functional>
#include <memory>
#include <random>
#include <string_view>
#include "platform/linux/io/FileLocks.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel follows at most 40
constexpr std::string_view kTempPrefix = ".store-";
constexpr std::string_view kTempSuffix = ".tmp";

FileStamp StampFrom(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),
            st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

int WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Reads at `offset`; the count, or -1 with errno set.
ssize_t ReadAt(int fd, char* buffer, std::size_t size, off_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, size, offset);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool IsTempName(std::string_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return false;
    const std::string_view digits =
        name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
    if (digits.empty() || digits.size() > 20) return false;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Writes `path` anew through a locked temporary file that `fill` fills.
int ReplaceThroughTemp(const std::string& path, const std::function<int(int)>& fill,
                       mode_t mode = kPrivateFileMode) {
    const std::string folder = FolderOf(path);
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd) return errno;
    std::mt19937_64 random(std::random_device{}());
    std::string temp;
    UniqueFd fd;
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && !fd && error == EEXIST; ++attempt) {
        temp = std::string(kTempPrefix) + std::to_string(random()) + std::string(kTempSuffix);
        fd = CreateLockedFile(folderFd.Get(), temp, O_WRONLY, mode, error);
    }
    if (!fd) return error;
    error = fill(fd.Get());
    if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
    // Renamed while the lock is held: no remover can take the name before it is gone.
    if (error == 0 && ::renameat(folderFd.Get(), temp.c_str(), AT_FDCWD, path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlinkat(folderFd.Get(), temp.c_str(), 0);
        return error;
    }
    ::fsync(folderFd.Get());
    return 0;
}

}  // namespace

StoreBytes ReadStoreBytes(const std::string& path, std::size_t cap) {
    StoreBytes read;
    // Never waits: a pipe at the store's place would hold up the UI thread for ever.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        read.error = errno;
        return read;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        read.error = errno;
        return read;
    }
    read.stamp = StampFrom(st);
    if (!S_ISREG(st.st_mode)) {
        read.error = S_ISDIR(st.st_mode) ? EISDIR : kStoreNotAFile;
        return read;
    }
    std::array<char, 65536> buffer;
    for (;;) {
        const std::size_t room = cap - read.bytes.size();
        // One byte more than there is room for tells a file larger than the cap.
        const std::size_t want = std::min(buffer.size(), room + 1);
        const ssize_t n =
            ReadAt(fd.Get(), buffer.data(), want, static_cast<off_t>(read.bytes.size()));
        if (n < 0) {
            read.error = errno;
            read.bytes.clear();
            return read;
        }
        if (n == 0) break;
        const auto got = static_cast<std::size_t>(n);
        read.bytes.append(buffer.data(), std::min(got, room));
        if (got > room) return read;  // not whole
    }
    read.whole = true;
    return read;
}

FileStamp StampOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? StampFrom(st) : FileStamp{};
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int FollowLinks(std::string path, std::string& target) {
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = std::move(path);
            return 0;
        }
        std::array<char, 4096> text{};
        const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
        if (n < 0) return errno;
        if (n == 0 || static_cast<std::size_t>(n) >= text.size()) return ENAMETOOLONG;
        const std::string link(text.data(), static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
    }
    return ELOOP;
}

int WriteAtomically(const std::string& path, const std::string& bytes, mode_t mode) {
    return ReplaceThroughTemp(
        path, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); }, mode);
}

int CopyAtomically(int sourceFd, const std::string& path) {
    return ReplaceThroughTemp(path, [&](int fd) {
        std::array<char, 65536> buffer;
        for (off_t at = 0;;) {
            const ssize_t n = ReadAt(sourceFd, buffer.data(), buffer.size(), at);
            if (n < 0) return errno;
            if (n == 0) return 0;
            if (const int error = WriteAll(fd, buffer.data(), static_cast<std::size_t>(n))) {
                return error;
            }
            at += n;
        }
    });
}

void RemoveStoreLeftovers(const std::string& folder) {
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd) return;
    UniqueFd listed(::fcntl(folderFd.Get(), F_DUPFD_CLOEXEC, 0));
    if (!listed) return;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listed.Get()));
    if (!dir) return;
    listed.Release();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsTempName(entry->d_name)) RemoveIfAbandoned(folderFd.Get(), entry->d_name);
    }
}

}  // namespace dravolin::lnx

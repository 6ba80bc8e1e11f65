#include "CopyTestSupport.h"

#include <dirent.h>
#include <unistd.h>
#include <climits>

namespace dravolin::lnx::test {

std::string PathOfFd(int fd) {
    char link[64];
    char target[PATH_MAX + 1] = {};
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, PATH_MAX);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        ::closedir(dir);
        --count;  // the listing's own
    }
    return count;
}

ScopedDescriptorLimit::ScopedDescriptorLimit(rlim_t soft) {
    if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) return;
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    applied_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
}

ScopedDescriptorLimit::~ScopedDescriptorLimit() {
    if (applied_) ::setrlimit(RLIMIT_NOFILE, &saved_);
}

bool FaultyIo::IsFaultyFile(int fd) const {
    const std::string path = PathOfFd(fd);
    return path.size() >= failReadsOf.size() + 1 &&
           path.compare(path.size() - failReadsOf.size() - 1, std::string::npos,
                        "/" + failReadsOf) == 0;
}

bool FaultyIo::ReadFails(int fd) {
    if (failReadsOf.empty() || readFailures == 0) return false;
    if (!IsFaultyFile(fd)) return false;
    if (readFailures > 0) --readFailures;
    return true;
}

ssize_t FaultyIo::CopyRange(int in, off_t inOffset, int out, off_t outOffset, std::size_t length) {
    if (noKernelCopy) {
        errno = EXDEV;
        return -1;
    }
    if (ReadFails(in)) {
        errno = EIO;
        return -1;
    }
    if (static_cast<std::uint64_t>(outOffset) + length > writeLimit) {
        if (static_cast<std::uint64_t>(outOffset) >= writeLimit) {
            errno = ENOSPC;
            return -1;
        }
        length = static_cast<std::size_t>(writeLimit - static_cast<std::uint64_t>(outOffset));
    }
    return CopyIo::CopyRange(in, inOffset, out, outOffset, length);
}

ssize_t FaultyIo::Read(int fd, void* buffer, std::size_t length, off_t offset) {
    ++reads;
    const auto begin = static_cast<std::uint64_t>(offset);
    for (const ByteRange& bad : unreadable) {
        if (begin < bad.end && bad.begin < begin + length && !failReadsOf.empty() &&
            IsFaultyFile(fd)) {
            errno = EIO;
            return -1;
        }
    }
    if (ReadFails(fd)) {
        errno = EIO;
        return -1;
    }
    return CopyIo::Read(fd, buffer, length, offset);
}

ssize_t FaultyIo::Write(int fd, const void* buffer, std::size_t length, off_t offset) {
    if (static_cast<std::uint64_t>(offset) + length > writeLimit) {
        if (static_cast<std::uint64_t>(offset) >= writeLimit) {
            errno = ENOSPC;
            return -1;
        }
        length = static_cast<std::size_t>(writeLimit - static_cast<std::uint64_t>(offset));
    }
    return CopyIo::Write(fd, buffer, length, offset);
}

bool FaultyIo::SyncFails() {
    int expected = syncFailures.load();
    while (expected > 0) {
        if (syncFailures.compare_exchange_weak(expected, expected - 1)) {
            errno = EIO;
            return true;
        }
    }
    return false;
}

int FaultyIo::DataSync(int fd) {
    return SyncFails() ? -1 : CopyIo::DataSync(fd);
}

int FaultyIo::SyncFileSystem(int fd) {
    if (syncFsPasses.fetch_sub(1) <= 0 && syncFsFailures.fetch_sub(1) > 0) {
        errno = EIO;
        return -1;
    }
    return SyncFails() ? -1 : CopyIo::SyncFileSystem(fd);
}

}  // namespace dravolin::lnx::test

#include "platform/linux/copy/CopyIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace dravolin::lnx {

ssize_t CopyIo::CopyRange(int in, off_t inOffset, int out, off_t outOffset, std::size_t length) {
    loff_t inPos = inOffset, outPos = outOffset;
    return ::copy_file_range(in, &inPos, out, &outPos, length, 0);
}

ssize_t CopyIo::Read(int fd, void* buffer, std::size_t length, off_t offset) {
    return ::pread(fd, buffer, length, offset);
}

ssize_t CopyIo::Write(int fd, const void* buffer, std::size_t length, off_t offset) {
    return ::pwrite(fd, buffer, length, offset);
}

int WriteAll(CopyIo& io, int fd, const void* bytes, std::size_t length, off_t offset) {
    const auto* from = static_cast<const char*>(bytes);
    for (std::size_t written = 0; written < length;) {
        const ssize_t n =
            io.Write(fd, from + written, length - written, offset + static_cast<off_t>(written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int CopyIo::DataSync(int fd) {
    return ::fdatasync(fd);
}

int CopyIo::StartWriteback(int fd, off_t offset, off_t length) {
    return ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

int CopyIo::SyncFileSystem(int fd) {
    return ::syncfs(fd);
}

int CopyIo::RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL) return -1;
    struct stat st {};
    if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(fromDir, from, toDir, to);
}

}  // namespace dravolin::lnx

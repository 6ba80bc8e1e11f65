#pragma once
#include <sys/types.h>
#include <cerrno>
#include <cstddef>

namespace dravolin::lnx {

// The data calls of the copy engine: the seam through which the tests inject a failing disc
// or a full target. Each returns what the system call returns, with errno set on failure.
class CopyIo {
  public:
    virtual ~CopyIo() = default;
    virtual ssize_t CopyRange(int in, off_t inOffset, int out, off_t outOffset, std::size_t length);
    virtual ssize_t Read(int fd, void* buffer, std::size_t length, off_t offset);
    virtual ssize_t Write(int fd, const void* buffer, std::size_t length, off_t offset);
    virtual int DataSync(int fd);
    // sync_file_range(2) with SYNC_FILE_RANGE_WRITE: starts writing the range to the disk
    // without waiting, so the flush before the rename finds little left to do.
    virtual int StartWriteback(int fd, off_t offset, off_t length);
    // syncfs(2): flushes the whole file system `fd` is on, with one cache flush of the disk.
    virtual int SyncFileSystem(int fd);
    // renameat2(2) with RENAME_NOREPLACE (EEXIST when `to` is taken); where the file system
    // lacks it, a look and a plain rename.
    virtual int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to);
};

// Writes all `length` bytes at `offset`, however many calls it takes: 0, or the errno of the
// call that failed (ENOSPC where one wrote nothing).
int WriteAll(CopyIo& io, int fd, const void* bytes, std::size_t length, off_t offset);

// Whether a failure's errno says the target's disk (or the user's quota on it) is full.
inline bool IsTargetFull(int error) {
    return error == ENOSPC || error == EDQUOT;
}

}  // namespace dravolin::lnx

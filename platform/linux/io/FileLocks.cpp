#include "platform/linux/io/FileLocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace dravolin::lnx {

namespace {

// Takes a lock of `type` over the whole file, however long it grows, without waiting: 0 or an
// errno value.
int LockWhole(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `name` in the folder still is the file open at `fd`.
bool StillNamed(int folderFd, const std::string& name, int fd) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 &&
           ::fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           SameFile(open, named);
}

}  // namespace

bool HoldWriteLock(int fd) {
    const int locked = LockWhole(fd, F_WRLCK);
    if (locked == EAGAIN || locked == EACCES) return false;
    // Removed by another process between its creation and the lock: written, it would be lost.
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_nlink > 0;
}

UniqueFd CreateLockedFile(int folderFd, const std::string& name, int flags, mode_t mode,
                          int& error) {
    error = 0;
    UniqueFd fd(
        ::openat(folderFd, name.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) {
        error = errno;
        return fd;
    }
    if (HoldWriteLock(fd.Get()) && StillNamed(folderFd, name, fd.Get())) return fd;
    // A remover took it for abandoned before the lock was held: let go of it, whether or not
    // the remover got as far as removing it, and take another name.
    if (StillNamed(folderFd, name, fd.Get())) ::unlinkat(folderFd, name.c_str(), 0);
    error = EEXIST;
    return {};
}

bool RemoveIfAbandoned(int folderFd, const std::string& name) {
    // Never opened unless it is a regular file: opening a device or a pipe can act on it.
    struct stat seen {};
    if (::fstatat(folderFd, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(seen.st_mode) || seen.st_uid != ::geteuid()) {
        return false;
    }
    const UniqueFd fd(::openat(folderFd, name.c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!fd || ::fstat(fd.Get(), &opened) != 0 || !SameFile(seen, opened)) return false;
    // A read lock conflicts with the writer's, and keeps a new writer from taking one while
    // the name is removed.
    if (LockWhole(fd.Get(), F_RDLCK) != 0) return false;
    // Still the file under that name: not renamed into place meanwhile with another temporary
    // file made under the old name.
    if (!StillNamed(folderFd, name, fd.Get())) return false;
    return ::unlinkat(folderFd, name.c_str(), 0) == 0;
}

}  // namespace dravolin::lnx

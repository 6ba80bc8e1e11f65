#include "platform/linux/FileLocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

namespace dravolin::lnx {

namespace {

// Takes a lock of `type` over the whole file without waiting: 0 or an errno value.
int LockWhole(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // to the end, however far it grows
    while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// Whether `name` in the folder still is the file open at `fd`.
bool StillNamed(int folderFd, const std::string& name, int fd) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 &&
           ::fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

UniqueFd CreateLockedFile(int folderFd, const std::string& name, int flags, mode_t mode,
                          int& error) {
    error = 0;
    UniqueFd fd(
        ::openat(folderFd, name.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) {
        error = errno;
        return fd;
    }
    const int locked = LockWhole(fd.Get(), F_WRLCK);
    if (locked == EAGAIN || locked == EACCES) {
        // A remover holds it and is about to take the name: it is no longer ours.
        error = EEXIST;
        return {};
    }
    // Where the file system keeps no such locks, no remover can take one either and the file
    // stays. The remover that held the lock before ours may have taken the name already.
    if (!StillNamed(folderFd, name, fd.Get())) {
        error = EEXIST;
        return {};
    }
    return fd;
}

bool RemoveIfAbandoned(int folderFd, const std::string& name) {
    // Non-blocking: a FIFO under such a name must not hold up whoever cleans.
    UniqueFd fd(::openat(folderFd, name.c_str(),
                         O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd) return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // A read lock cannot be had while a writer holds its write lock; held until the name is
    // gone, so a writer that creates the file meanwhile sees it go and takes another name.
    if (LockWhole(fd.Get(), F_RDLCK) != 0) return false;
    if (!StillNamed(folderFd, name, fd.Get())) return false;
    return ::unlinkat(folderFd, name.c_str(), 0) == 0;
}

}  // namespace dravolin::lnx

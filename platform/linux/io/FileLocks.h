#pragma once
#include <sys/types.h>
#include <string>
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// Proof that a temporary file's writer is still at work, kept by the kernel rather than read
// from the file's name: an open file description (OFD) write lock over the whole file, taken as
// the file is created and held for as long as the writer keeps that description open. The
// kernel drops it with the description's last descriptor, however the writer ends, and every
// process of the machine sees it whatever its pid or time namespace (and, on a network file
// system that passes locks on, the other machines too). A file whose lock anyone can take is
// provably abandoned. The descriptor must stay open until the file is renamed or removed.

// Takes the writer's lock on `fd`, a file just created for writing. False when the file cannot
// be used: another process holds a lock on it (one about to remove it as abandoned), or it was
// removed before the lock was taken. Where the file system keeps no locks it is true: nothing
// can then prove the file abandoned either.
bool HoldWriteLock(int fd);

// Creates `name` in the folder open at `folderFd` (AT_FDCWD for the working folder) as a new
// file, opened with `flags` (which must allow writing, e.g. O_WRONLY) added to O_CREAT |
// O_EXCL | O_NOFOLLOW | O_CLOEXEC, and takes its writer's lock. On failure the descriptor is
// invalid and `error` holds an errno value; EEXIST also when a remover took the file in the
// moment between its creation and the lock: try another name.
UniqueFd CreateLockedFile(int folderFd, const std::string& name, int flags, mode_t mode,
                          int& error);

// Removes `name` from the folder open at `folderFd` when it is a regular file of this user
// whose lock no one holds, and says whether it did. The lock is held while the file is
// removed, so a writer that creates a file of that name meanwhile cannot lose it. Anything that
// cannot be looked at, locked or opened is left alone; nothing but a regular file is opened.
bool RemoveIfAbandoned(int folderFd, const std::string& name);

}  // namespace dravolin::lnx

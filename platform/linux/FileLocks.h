#pragma once
#include <sys/types.h>
#include <string>
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

// Proof that a temporary file's writer is still at work, kept by the kernel: an open file
// description (OFD) write lock over the whole file, taken as the file is created and held for
// as long as the writer keeps it open. It goes with the last descriptor of that open file, also
// when the writer is killed, whatever machine, boot, pid namespace or clock the writer had. A
// file whose lock anyone can take is provably abandoned.

// Creates `name` in the folder open at `folderFd` (AT_FDCWD for the working folder) as a new
// file, opened with `flags` (which must allow writing, e.g. O_WRONLY) added to O_CREAT |
// O_EXCL | O_NOFOLLOW | O_CLOEXEC, and takes its writer's lock. On failure the descriptor is
// invalid and `error` holds an errno value; EEXIST also when a remover took the name in the
// moment between its creation and the lock: try another name.
UniqueFd CreateLockedFile(int folderFd, const std::string& name, int flags, mode_t mode,
                          int& error);

// Removes `name` from the folder open at `folderFd` when it is a regular file and no writer
// holds its lock (a read lock on it can be had at once). Never waits, never opens anything
// but a regular file. True when it was removed.
bool RemoveIfAbandoned(int folderFd, const std::string& name);

}  // namespace dravolin::lnx

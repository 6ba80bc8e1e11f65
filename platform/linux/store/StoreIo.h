#pragma once
#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <string>

namespace dravolin::lnx {

// The store's file at the level of bytes: read without ever blocking or reading anything but a
// regular file, written through temporary files whose writers leave proof of life.

// Far beyond what the program writes: a larger file is not read whole, which is damage.
inline constexpr std::size_t kStoreSizeCap = 64u << 20;

// Where the store's path holds something that is not a regular file (a pipe, a device, a
// socket): it is neither read nor replaced. Never an errno value.
inline constexpr int kStoreNotAFile = -1;

// Which file a path led to, and which version of it: a rewrite through a rename gives a new
// file, any other change a new size or new times. All zero for a missing file.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    std::int64_t changed = 0;   // nanoseconds
    bool operator==(const FileStamp&) const = default;
};

struct StoreBytes {
    std::string bytes;
    // 0; ENOENT when there is no file; kStoreNotAFile, EISDIR or another errno value when it
    // cannot be read.
    int error = 0;
    bool whole = false;  // every byte the file holds was read: false past the cap
    FileStamp stamp;
};

// The regular file at `path` (a name, not a link), read up to `cap` bytes.
StoreBytes ReadStoreBytes(const std::string& path, std::size_t cap = kStoreSizeCap);
// The stamp of what is at `path` now, without opening it.
FileStamp StampOf(const std::string& path);

std::string FolderOf(const std::string& path);
// Where `path` leads through its symbolic links: a file, or the name a new file gets. 0 or
// an errno value.
int FollowLinks(std::string path, std::string& target);

// Replaces `path` with `bytes`, or with everything the file open at `sourceFd` holds, through
// a temporary file ".store-<n>.tmp" beside it: written under its writer's lock, flushed, then
// renamed over `path`, so a crash leaves the old file or the new one. 0 or an errno value.
// The user's own store is the user's alone; what others of an archive read too is made with
// kSharedFileMode, which the umask narrows as for any new file.
inline constexpr mode_t kPrivateFileMode = 0600;
inline constexpr mode_t kSharedFileMode = 0666;
int WriteAtomically(const std::string& path, const std::string& bytes,
                    mode_t mode = kPrivateFileMode);
int CopyAtomically(int sourceFd, const std::string& path);

// Removes from `folder` the temporary files of store writers that are gone: those whose
// writer's lock can be had.
void RemoveStoreLeftovers(const std::string& folder);

}  // namespace dravolin::lnx

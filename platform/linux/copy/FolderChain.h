#pragma once
#include <sys/stat.h>
#include <string>
#include <string_view>
#include <vector>
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// What makes a folder itself, whatever it is called: its device and inode numbers.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};
FileId IdOf(const struct stat& st);

// Opens the folder `relative` ("a/b/c"; "" for the base itself) below the folder open at
// `base`, never through a link nor out of the base, and checks that it is still `expected`.
// An invalid descriptor with errno set on failure (ESTALE: another folder stands there now).
UniqueFd OpenFolderBelow(int base, std::string_view relative, FileId expected);
// The same without the check, one name at a time: where the kernel lacks openat2.
UniqueFd OpenFolderStepwise(int base, std::string_view relative);

// The folders from a root down to the one a walk is in, each known by name and identity.
// Only the deepest few stay open, so a walk holds a handful of descriptors however deep or
// wide the tree: a folder closed on the way down is opened again when the walk comes back to
// it, by name from the nearest open folder above it, and must still be the same folder.
class FolderChain {
  public:
    // `root` stays the caller's, open for as long as the chain is used.
    FolderChain(int root, FileId rootId);
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;

    // Opens the folder `name` of the current one, never through a link, and makes it the
    // current one; when `expected` is given, it must be that folder. 0, or the errno.
    int Enter(const std::string& name, const FileId* expected = nullptr);
    // Makes the parent of the current folder the current one.
    void Leave();
    // The current folder, opened again if it was closed; -1 with errno set when it cannot be.
    int Fd();
    FileId CurrentId() const { return levels_.back().id; }
    // 0 at the root.
    std::size_t Depth() const { return levels_.size() - 1; }
    // Whether `id` is the current folder or one above it.
    bool OnPath(FileId id) const;

  private:
    struct Level {
        std::string name;
        FileId id;
        UniqueFd fd;  // never open for the root, which is root_
    };
    int FdOf(std::size_t level) const;
    int Open(std::size_t level);
    void CloseShallowest();

    int root_;
    std::vector<Level> levels_;
    std::size_t open_ = 0;  // levels below the root holding a descriptor
};

}  // namespace dravolin::lnx

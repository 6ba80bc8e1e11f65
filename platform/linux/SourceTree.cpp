#include "platform/linux/SourceTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <memory>
#include "platform/linux/SafeName.h"
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

namespace {

// Deeper trees than this are refused rather than risk the stack.
constexpr int kMaxDepth = 256;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

void ScanFolder(int folderFd, SourceNode& folder, SkippedEntries& skipped, int depth) {
    folder.children.clear();
    folder.listError = 0;
    if (depth > kMaxDepth) {
        folder.listError = ELOOP;
        return;
    }
    // fdopendir takes the descriptor over; the caller keeps its own.
    UniqueFd own(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!own) {
        folder.listError = errno;
        return;
    }
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(own.Get()));
    if (!dir) {
        folder.listError = errno;
        return;
    }
    own.Release();
    ::rewinddir(dir.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) folder.listError = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (!IsSafeEntryName(name)) {
            ++skipped.badNames;
            continue;
        }
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            folder.listError = errno;
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            ++skipped.links;
            continue;
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            ++skipped.special;
            continue;
        }
        SourceNode node;
        node.name = name;
        node.folder = S_ISDIR(st.st_mode);
        node.size = node.folder ? 0 : static_cast<std::uint64_t>(st.st_size);
        node.mode = st.st_mode;
        node.modified = st.st_mtim;
        folder.children.push_back(std::move(node));
    }
    std::sort(folder.children.begin(), folder.children.end(),
              [](const SourceNode& a, const SourceNode& b) { return a.name < b.name; });
    for (SourceNode& child : folder.children) {
        if (!child.folder) continue;
        UniqueFd childFd(::openat(folderFd, child.name.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!childFd) {
            child.listError = errno;
            continue;
        }
        ScanFolder(childFd.Get(), child, skipped, depth + 1);
    }
}

SubtreeSize SizeOf(const SourceNode& node) {
    SubtreeSize size;
    if (!node.folder) return {1, node.size};
    for (const SourceNode& child : node.children) {
        const SubtreeSize sub = SizeOf(child);
        size.files += sub.files;
        size.bytes += sub.bytes;
    }
    return size;
}

}  // namespace dravolin::lnx

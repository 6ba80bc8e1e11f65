#include "platform/linux/SourceTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <memory>
#include "platform/linux/CopySession.h"
#include "platform/linux/SafeName.h"
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

SubtreeSize SizeOf(const SourceNode& node) {
    if (!node.folder) return {1, node.size, 0};
    SubtreeSize size;
    for (const SourceNode& child : node.children) {
        const SubtreeSize sub = SizeOf(child);
        size.files += sub.files;
        size.bytes += sub.bytes;
        size.entries += 1 + sub.entries;
    }
    return size;
}

SourceScan::Outcome SourceScan::Scan(FolderChain& chain, SourceNode& folder) {
    const SubtreeSize before = SizeOf(folder);
    CopyProgress& progress = session_.Progress();
    progress.filesTotal -= before.files;
    progress.bytesTotal -= before.bytes;
    entries_ -= before.entries;
    return ScanFolder(chain, folder);
}

SourceScan::Outcome SourceScan::ScanFolder(FolderChain& chain, SourceNode& folder) {
    folder.children.clear();
    folder.problem = FolderProblem::None;
    folder.error = 0;
    // One folder read can take a seek across the disc: Cancel is looked at before each.
    if (!session_.Report()) return Outcome::Cancelled;
    const int fd = chain.Fd();
    if (fd < 0) {
        folder.problem = FolderProblem::Unreadable;
        folder.error = errno;
        return Outcome::Done;
    }
    List(fd, folder);
    entries_ += folder.children.size();
    CopyProgress& progress = session_.Progress();
    for (const SourceNode& child : folder.children) {
        if (child.folder) continue;
        progress.filesTotal += 1;
        progress.bytesTotal += child.size;
    }
    if (entries_ > limits_.maxEntries) return Outcome::TooManyEntries;
    for (SourceNode& child : folder.children) {
        if (!child.folder) continue;
        if (chain.Depth() >= limits_.maxDepth) {
            child.problem = FolderProblem::TooDeep;
            continue;
        }
        if (chain.OnPath(child.id)) {
            child.problem = FolderProblem::Loop;
            continue;
        }
        if (const int error = chain.Enter(child.name, &child.id)) {
            child.problem = FolderProblem::Unreadable;
            child.error = error;
            continue;
        }
        const Outcome outcome = ScanFolder(chain, child);
        chain.Leave();
        if (outcome != Outcome::Done) return outcome;
    }
    return Outcome::Done;
}

void SourceScan::List(int folderFd, SourceNode& folder) {
    const auto failed = [&](int error) {
        folder.problem = FolderProblem::Unreadable;
        folder.error = error;
    };
    // fdopendir takes the descriptor over; the chain keeps its own.
    UniqueFd own(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!own) return failed(errno);
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(own.Get()));
    if (!dir) return failed(errno);
    own.Release();
    ::rewinddir(dir.get());
    SkippedEntries& skipped = session_.Skipped();
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) failed(errno);
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
            failed(errno);
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
        node.id = IdOf(st);
        folder.children.push_back(std::move(node));
    }
    std::sort(folder.children.begin(), folder.children.end(),
              [](const SourceNode& a, const SourceNode& b) { return a.name < b.name; });
}

}  // namespace dravolin::lnx

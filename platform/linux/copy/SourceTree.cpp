#include "platform/linux/copy/SourceTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include "platform/linux/copy/CopyOperation.h"
#include "platform/linux/copy/SafeName.h"
#include "platform/linux/copy/TempFiles.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

// Big enough for most folders in one call.
constexpr std::size_t kNamesBuffer = 32 * 1024;

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

SourceScan::Outcome SourceScan::Scan(FolderChain& chain, SourceNode& folder,
                                     const std::string& relative) {
    relative_ = relative;
    const SubtreeSize before = SizeOf(folder);
    CopyProgress& progress = operation_.Progress();
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
    if (!operation_.Report()) return Outcome::Cancelled;
    const int fd = chain.Fd();
    if (fd < 0) {
        folder.problem = FolderProblem::Unreadable;
        folder.error = errno;
        return Outcome::Done;
    }
    const bool listed = List(fd, folder);
    entries_ += folder.children.size();
    CopyProgress& progress = operation_.Progress();
    for (const SourceNode& child : folder.children) {
        if (child.folder) continue;
        progress.filesTotal += 1;
        progress.bytesTotal += child.size;
    }
    if (!listed) return Outcome::TooManyEntries;
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
        const std::size_t length = relative_.size();
        relative_ += (relative_.empty() ? "" : "/") + child.name;
        const Outcome outcome = ScanFolder(chain, child);
        relative_.resize(length);
        chain.Leave();
        if (outcome != Outcome::Done) return outcome;
    }
    return Outcome::Done;
}

int SourceScan::ReadNames(int folderFd, const std::function<bool(const char*)>& take) {
    // getdents64 on the chain's own descriptor: no second descriptor, no directory stream.
    if (::lseek(folderFd, 0, SEEK_SET) < 0) return errno;
    if (buffer_.empty()) buffer_.resize(kNamesBuffer);
    for (;;) {
        const ssize_t n = ::getdents64(folderFd, buffer_.data(), buffer_.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer_.data() + at);
            if (!take(entry->d_name)) return 0;
            at += entry->d_reclen;
        }
    }
}

// The limit is checked as the names come: a single folder of millions of entries is never
// held whole.
bool SourceScan::List(int folderFd, SourceNode& folder) {
    const auto failed = [&](int error) {
        folder.problem = FolderProblem::Unreadable;
        folder.error = error;
    };
    const std::uint64_t room = limits_.maxEntries - std::min(entries_, limits_.maxEntries);
    bool tooMany = false;
    SkippedEntries& skipped = operation_.Skipped();
    const int error = ReadNames(folderFd, [&](const char* name) {
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return true;
        if (!IsSafeEntryName(name)) {
            if (operation_.Archive() && LooksLikeTempName(name)) {
                // Named as the copy names its temporary files, it would be taken for one: an
                // archive lists it as not copied, so its bag does not say it is complete.
                const std::string path = relative_.empty() ? name : relative_ + "/" + name;
                operation_.AskDiscFailure(CopyFailure{
                    path, EEXIST,
                    "Will not copy " + path + ": the name is that of the copy's temporary files."});
            } else {
                ++skipped.badNames;
            }
            return true;
        }
        struct stat st {};
        if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            failed(errno);
            return true;
        }
        if (S_ISLNK(st.st_mode)) {
            ++skipped.links;
            return true;
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            ++skipped.special;
            return true;
        }
        if (folder.children.size() >= room) {
            tooMany = true;
            return false;
        }
        SourceNode node;
        node.name = name;
        node.folder = S_ISDIR(st.st_mode);
        node.size = node.folder ? 0 : static_cast<std::uint64_t>(st.st_size);
        node.mode = st.st_mode;
        node.modified = st.st_mtim;
        node.id = IdOf(st);
        folder.children.push_back(std::move(node));
        return true;
    });
    if (error) failed(error);
    std::sort(folder.children.begin(), folder.children.end(),
              [](const SourceNode& a, const SourceNode& b) { return a.name < b.name; });
    return !tooMany;
}

std::string SkippedSummary(const SkippedEntries& skipped) {
    std::string summary;
    const auto add = [&](std::uint64_t count, const char* what) {
        if (count == 0) return;
        if (!summary.empty()) summary += ", ";
        summary += std::to_string(count) + " " + what;
    };
    add(skipped.links, "symbolic links");
    add(skipped.special, "special files (devices, pipes, sockets)");
    add(skipped.badNames, "entries with unusable names");
    if (!summary.empty()) summary = "Not copied: " + summary + ".";
    return summary;
}

}  // namespace dravolin::lnx

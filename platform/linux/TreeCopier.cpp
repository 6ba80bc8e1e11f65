#include "platform/linux/TreeCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include "platform/linux/Folders.h"
#include "platform/linux/FileWriter.h"
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string Join(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "/" + name;
}

const char* FolderProblem(int error) {
    return error == ELOOP ? "Will not follow the symbolic link" : "Cannot use the folder";
}

}  // namespace

TreeCopier::Result TreeCopier::Copy(const std::string& sourceFolder,
                                    const std::string& targetFolder) {
    Result result;
    UniqueFd source;
    while (!source) {
        source.Reset(::open(sourceFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (source) break;
        if (session_.AskError(sourceFolder, errno, "Cannot open") != ErrorDecision::Retry) {
            result.outcome = session_.Cancelled() ? CopyOutcome::Cancelled : CopyOutcome::Failed;
            return result;
        }
    }
    SourceNode root;
    root.folder = true;
    ScanFolder(source.Get(), root, session_.Skipped());
    const SubtreeSize total = SizeOf(root);
    session_.Progress().filesTotal = total.files;
    session_.Progress().bytesTotal = total.bytes;

    UniqueFd target;
    while (!target) {
        int error = MakeFolders(targetFolder);
        if (error == 0) {
            target.Reset(::open(targetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (target) break;
            error = errno;
        }
        if (session_.AskError(targetFolder, error, "Cannot open") != ErrorDecision::Retry) {
            result.outcome = session_.Cancelled() ? CopyOutcome::Cancelled : CopyOutcome::Failed;
            return result;
        }
    }

    const int targetFd = target.Get();
    auto folder = std::make_shared<FolderPair>(
        FolderPair{std::move(source), std::move(target), targetFolder, ""});
    Flow flow = CopyFolder(folder, root);
    if (batch_.Commit() == Flow::Cancel) flow = Flow::Cancel;
    // One flush makes every rename of the copy last; the data went to the disk before them.
    session_.Io().SyncFileSystem(targetFd);
    if (flow == Flow::Cancel || session_.Cancelled()) {
        result.outcome = CopyOutcome::Cancelled;
    } else {
        result.outcome = session_.AnyFailure() ? CopyOutcome::Failed : CopyOutcome::Completed;
    }
    result.summary = Summary();
    return result;
}

Flow TreeCopier::ListAgainOnError(int sourceFd, SourceNode& folder, const std::string& path) {
    while (folder.listError != 0) {
        const ErrorDecision d = session_.AskError(path, folder.listError, "Cannot list");
        if (d == ErrorDecision::Cancel) return Flow::Cancel;
        if (d == ErrorDecision::Skip) return Flow::Continue;  // with what could be listed
        const SubtreeSize before = SizeOf(folder);
        ScanFolder(sourceFd, folder, session_.Skipped());
        const SubtreeSize after = SizeOf(folder);
        CopyProgress& progress = session_.Progress();
        progress.filesTotal = progress.filesTotal - before.files + after.files;
        progress.bytesTotal = progress.bytesTotal - before.bytes + after.bytes;
    }
    return Flow::Continue;
}

Flow TreeCopier::CopyFolder(const FolderPtr& folder, SourceNode& node) {
    const std::string& relative = folder->relativePath;
    if (ListAgainOnError(folder->source.Get(), node, relative.empty() ? "/" : relative) ==
        Flow::Cancel) {
        return Flow::Cancel;
    }
    for (SourceNode& child : node.children) {
        if (session_.Cancelled()) break;
        const Flow flow =
            child.folder ? EnterFolder(*folder, child) : AddFile(session_, folder, child, batch_);
        if (flow == Flow::Cancel) break;
    }
    return session_.Cancelled() ? Flow::Cancel : Flow::Continue;
}

Flow TreeCopier::EnterFolder(const FolderPair& parent, SourceNode& node) {
    const std::string childRelative = Join(parent.relativePath, node.name);
    const std::string childTarget = parent.targetPath + "/" + node.name;
    for (;;) {
        UniqueFd source(::openat(parent.source.Get(), node.name.c_str(), kFolderFlags));
        if (!source) {
            const ErrorDecision d = session_.AskError(childRelative, errno, "Cannot open");
            if (d == ErrorDecision::Retry) continue;
            if (d == ErrorDecision::Skip) SkipSubtree(node);
            return d == ErrorDecision::Cancel ? Flow::Cancel : Flow::Continue;
        }
        const int targetFd = parent.target.Get();
        int error = 0;
        if (::mkdirat(targetFd, node.name.c_str(), 0777) != 0 && errno != EEXIST) error = errno;
        UniqueFd target;
        if (error == 0) {
            target.Reset(::openat(targetFd, node.name.c_str(), kFolderFlags));
            if (!target) error = errno;
            struct stat st {};
            if (!target && ::fstatat(targetFd, node.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode)) {
                error = ELOOP;  // say "link" rather than "not a directory"
            }
        }
        if (error != 0) {
            const ErrorDecision d = session_.AskError(childTarget, error, FolderProblem(error));
            if (d == ErrorDecision::Retry) continue;
            if (d == ErrorDecision::Skip) SkipSubtree(node);
            return d == ErrorDecision::Cancel ? Flow::Cancel : Flow::Continue;
        }
        auto folder = std::make_shared<FolderPair>(
            FolderPair{std::move(source), std::move(target), childTarget, childRelative});
        return CopyFolder(folder, node);
    }
}

void TreeCopier::SkipSubtree(const SourceNode& folder) {
    const SubtreeSize size = SizeOf(folder);
    session_.Progress().filesDone += size.files;
    session_.Progress().bytesDone += size.bytes;
}

std::string TreeCopier::Summary() const {
    const SkippedEntries& skipped = session_.Skipped();
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

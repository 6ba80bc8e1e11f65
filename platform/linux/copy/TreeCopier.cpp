#include "platform/linux/copy/TreeCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include "platform/linux/copy/FileWriter.h"
#include "platform/linux/paths/Folders.h"
#include "platform/linux/copy/TempFiles.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

std::string Join(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "/" + name;
}

const char* FolderProblemText(int error) {
    return error == ELOOP ? "Will not follow the symbolic link" : "Cannot use the folder";
}

// Opens a folder given by path, and says what it is; errno set on failure.
UniqueFd OpenRoot(const std::string& path, FileId& id) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (fd && ::fstat(fd.Get(), &st) != 0) fd.Reset();
    if (fd) id = IdOf(st);
    return fd;
}

}  // namespace

TreeCopier::Result TreeCopier::Copy(const std::string& sourceFolder,
                                    const std::string& targetFolder) {
    Result result;
    const auto ended = [&] {
        result.outcome = operation_.Cancelled() ? CopyOutcome::Cancelled : CopyOutcome::Failed;
        result.summary = Summary();
        return result;
    };
    sourceFolder_ = sourceFolder;
    FileId sourceId;
    UniqueFd source;
    while (!(source = OpenRoot(sourceFolder, sourceId))) {
        if (operation_.AskError(sourceFolder, errno, "Cannot open") != ErrorDecision::Retry) {
            return ended();
        }
    }
    FolderChain sourceChain(source.Get(), sourceId);
    SourceNode root;
    root.folder = true;
    std::optional<CopyOrder> order;
    if (ScanDisc(sourceChain, root, sourceFolder, order) != Scanned::Done) return ended();

    FileId targetId;
    UniqueFd target;
    for (;;) {
        int error = MakeFolders(targetFolder);
        if (error == 0) {
            target = OpenRoot(targetFolder, targetId);
            if (target) break;
            error = errno;
        }
        if (operation_.AskError(targetFolder, error, "Cannot open") != ErrorDecision::Retry) {
            return ended();
        }
    }

    FolderChain targetChain(target.Get(), targetId);
    auto roots =
        std::make_shared<const FolderRoots>(FolderRoots{std::move(source), std::move(target)});
    const auto place = std::make_shared<const FolderPlace>(
        FolderPlace{roots, "", targetFolder, sourceId, targetId, false});
    batch_.Begin(place);
    RemoveStaleTemps(roots->target.Get(), operation_.Owner());
    Walk walk{sourceChain, targetChain};
    Flow flow = order ? CopyInOrder(walk, *order, place) : CopyFolder(walk, root, place);
    if (batch_.Finish() == Flow::Cancel) flow = Flow::Cancel;
    if (refused_) {
        result.outcome = CopyOutcome::Failed;
    } else if (flow == Flow::Cancel || operation_.Cancelled()) {
        result.outcome = CopyOutcome::Cancelled;
    } else {
        result.outcome = operation_.AnyFailure() ? CopyOutcome::Failed : CopyOutcome::Completed;
    }
    result.summary = Summary();
    return result;
}

TreeCopier::Scanned TreeCopier::ScanDisc(FolderChain& source, SourceNode& root,
                                         const std::string& sourceFolder,
                                         std::optional<CopyOrder>& order) {
    CopyProgress& progress = operation_.Progress();
    progress.scanning = true;
    progress.currentFile = kReadingDiscFolders;
    for (;;) {
        const SourceScan::Outcome outcome = scan_.Scan(source, root);
        if (outcome == SourceScan::Outcome::Done) break;
        if (outcome == SourceScan::Outcome::Cancelled) return Scanned::Cancelled;
        const ErrorDecision d = AskTooManyEntries(sourceFolder);
        if (d == ErrorDecision::Cancel) return Scanned::Cancelled;
        if (d == ErrorDecision::Skip) return Scanned::Refused;
    }
    order = DiscOrder(root, sourceFolder);
    progress.scanning = false;
    progress.currentFile.clear();
    return Scanned::Done;
}

ErrorDecision TreeCopier::AskTooManyEntries(const std::string& sourceFolder) {
    const std::string text = "Will not copy " + sourceFolder + ": the disc holds more than " +
                             std::to_string(scan_.Limits().maxEntries) +
                             " files and folders, or its folders lead into one another.";
    return operation_.AskFailure(CopyFailure{sourceFolder, E2BIG, text});
}

Flow TreeCopier::CopyFolder(Walk& walk, SourceNode& node, const PlacePtr& place) {
    const std::string& relative = place->relativePath;
    if (ReadAgainOnError(walk, node, relative.empty() ? "/" : relative) == Flow::Cancel) {
        return Flow::Cancel;
    }
    std::size_t next = 0;
    while (next < node.children.size() && !operation_.Cancelled()) {
        SourceNode& child = node.children[next];
        if (child.folder) {
            if (EnterFolder(walk, place, child) == Flow::Cancel) return Flow::Cancel;
            ++next;
            continue;
        }
        bool skipRest = false;
        if (CopyFile(walk, place, child, skipRest) == Flow::Cancel) return Flow::Cancel;
        if (skipRest) {
            for (; next < node.children.size(); ++next) SkipSubtree(node.children[next]);
            break;
        }
        ++next;
    }
    return operation_.Cancelled() ? Flow::Cancel : Flow::Continue;
}

Flow TreeCopier::CopyFile(Walk& walk, const PlacePtr& place, const SourceNode& file,
                          bool& skipRest) {
    for (;;) {
        // A folder closed while the copy was elsewhere is opened again here.
        const int source = walk.source.Fd();
        const int target = source < 0 ? -1 : walk.target.Fd();
        if (target >= 0)
            return AddFile(operation_, OpenFolder{place, source, target}, file, batch_);
        const ErrorDecision d = operation_.AskError(place->targetPath, errno, "Cannot open");
        if (d == ErrorDecision::Retry) continue;
        if (d == ErrorDecision::Cancel) return Flow::Cancel;
        skipRest = true;
        return Flow::Continue;
    }
}

Flow TreeCopier::EnterFolder(Walk& walk, const PlacePtr& parent, SourceNode& node) {
    if (node.problem == FolderProblem::Loop || node.problem == FolderProblem::TooDeep) {
        return Refuse(node, Join(parent->relativePath, node.name));
    }
    PlacePtr place;
    const Entered entered = EnterPair(walk, parent, node, place);
    if (entered == Entered::Skipped) SkipSubtree(node);
    if (entered != Entered::Yes) {
        return entered == Entered::Cancelled ? Flow::Cancel : Flow::Continue;
    }
    const Flow flow = CopyFolder(walk, node, place);
    walk.source.Leave();
    walk.target.Leave();
    return flow;
}

TreeCopier::Entered TreeCopier::EnterPair(Walk& walk, const PlacePtr& parent, SourceNode& node,
                                          PlacePtr& place) {
    const std::string relative = Join(parent->relativePath, node.name);
    const std::string targetPath = parent->targetPath + "/" + node.name;
    const auto asked = [](ErrorDecision d) {
        return d == ErrorDecision::Cancel ? Entered::Cancelled : Entered::Skipped;
    };
    bool existed = false;
    for (;;) {
        if (const int error = walk.source.Enter(node.name, &node.id)) {
            const ErrorDecision d = operation_.AskDiscError(relative, error, "Cannot open");
            if (d == ErrorDecision::Retry) continue;
            return asked(d);
        }
        const int parentFd = walk.target.Fd();
        int error = parentFd < 0 ? errno : 0;
        if (error == 0 && place) {
            // Back in a folder made before: it must still be that one.
            error = walk.target.Enter(node.name, &place->target);
        } else if (error == 0) {
            if (::mkdirat(parentFd, node.name.c_str(), 0777) != 0) {
                if (errno == EEXIST) {
                    existed = true;
                } else {
                    error = errno;
                }
            }
            if (error == 0) error = walk.target.Enter(node.name);
        }
        struct stat st {};
        if (error != 0 && parentFd >= 0 &&
            ::fstatat(parentFd, node.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode)) {
            error = ELOOP;  // say "link" rather than "not a directory"
        }
        if (error == 0) break;
        walk.source.Leave();
        const ErrorDecision d = operation_.AskError(targetPath, error, FolderProblemText(error));
        if (d == ErrorDecision::Retry) continue;
        return asked(d);
    }
    if (place) return Entered::Yes;
    place = std::make_shared<const FolderPlace>(FolderPlace{parent->roots, relative, targetPath,
                                                            walk.source.CurrentId(),
                                                            walk.target.CurrentId(), !existed});
    // What a killed copy left in a folder that was there before goes now.
    if (existed) RemoveStaleTemps(walk.target.Fd(), operation_.Owner());
    return Entered::Yes;
}

Flow TreeCopier::ReadAgainOnError(Walk& walk, SourceNode& folder, const std::string& path) {
    while (folder.problem == FolderProblem::Unreadable) {
        const ErrorDecision d = operation_.AskDiscError(path, folder.error, "Cannot list");
        if (d == ErrorDecision::Cancel) return Flow::Cancel;
        if (d == ErrorDecision::Skip) return Flow::Continue;  // with what could be listed
        // Read at its own depth, below the folders the copy is in: no limit is lifted.
        const SourceScan::Outcome outcome = scan_.Scan(walk.source, folder);
        if (outcome == SourceScan::Outcome::Cancelled) return Flow::Cancel;
        if (outcome == SourceScan::Outcome::TooManyEntries) {
            const ErrorDecision again = AskTooManyEntries(sourceFolder_);
            if (again == ErrorDecision::Cancel) return Flow::Cancel;
            if (again == ErrorDecision::Skip) {
                refused_ = true;
                return Flow::Cancel;
            }
            folder.problem = FolderProblem::Unreadable;
            folder.error = E2BIG;
        }
    }
    return Flow::Continue;
}

Flow TreeCopier::Refuse(const SourceNode& folder, const std::string& path) {
    const std::string text =
        folder.problem == FolderProblem::Loop
            ? "Will not copy the folder " + path + ": it leads back into a folder that contains it."
            : "Will not copy the folder " + path + ": it lies more than " +
                  std::to_string(scan_.Limits().maxDepth) + " folders deep.";
    // An archive lists the folder as not copied and goes on: the bag says it is incomplete.
    if (operation_.Archive()) {
        return operation_.AskDiscFailure(CopyFailure{path, ELOOP, text}) == ErrorDecision::Cancel
                   ? Flow::Cancel
                   : Flow::Continue;
    }
    // Nothing a retry can change: the question only comes again.
    ErrorDecision d;
    do {
        d = operation_.AskFailure(CopyFailure{path, ELOOP, text});
    } while (d == ErrorDecision::Retry);
    return d == ErrorDecision::Cancel ? Flow::Cancel : Flow::Continue;
}

void TreeCopier::SkipSubtree(const SourceNode& folder) {
    const SubtreeSize size = SizeOf(folder);
    operation_.Progress().filesDone += size.files;
    operation_.Progress().bytesDone += size.bytes;
}

std::string TreeCopier::Summary() const {
    return SkippedSummary(operation_.Skipped());
}

}  // namespace dravolin::lnx

#pragma once
#include <functional>
#include <optional>
#include <string>
#include "platform/linux/copy/CopyBatch.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/copy/CopyOperation.h"
#include "platform/linux/copy/FolderChain.h"
#include "platform/linux/copy/SourceTree.h"
#include "platform/linux/copy/CopyOrder.h"

namespace dravolin::lnx {

// Copies the whole tree of a folder into another folder: regular files and folders only.
// Symbolic links are never followed (every step opens relative to an open folder with
// O_NOFOLLOW), devices, FIFOs and sockets are left out, set-id bits are dropped, and nothing is
// created anywhere but below the target folder. The disc's folders are read first (with
// progress, and Cancel looked at before each folder), then copied: in the order the files lie
// on the disc where its directories say so (a drive's seeks cost more than its reads), else in
// name order. Either way the walk is of the folders read, each file once. Runs on the calling
// thread; cancellable between blocks through the prompts or the worker's cancel flag. It holds a
// handful of descriptors whatever the size and shape of the tree.
class TreeCopier {
  public:
    TreeCopier(CopyIo& io, CopyPrompts& prompts, ScanLimits limits = {})
        : operation_(io, prompts), batch_(operation_), scan_(operation_, limits) {}
    // An archive copy (see CopyOperation): asks nothing, writes what it did into `record`.
    TreeCopier(CopyIo& io, CopyPrompts& prompts, ArchiveRecord& record, ScanLimits limits = {})
        : operation_(io, prompts, record), batch_(operation_), scan_(operation_, limits) {}

    struct Result {
        CopyOutcome outcome = CopyOutcome::Failed;
        std::string summary;  // what was left out; empty when nothing was
    };
    // The target folder and its parents are created when missing.
    Result Copy(const std::string& sourceFolder, const std::string& targetFolder);

    // Where the files of the source folder begin on its disc, asked once its folders are read,
    // with the most entries worth reading; by default the disc mounted there, read by a library
    // of its file system.
    using StartsReader = std::function<std::optional<FileStarts>(const std::string& sourceFolder,
                                                                 std::uint64_t maxEntries)>;
    void ReadStartsWith(StartsReader reader) { startsReader_ = std::move(reader); }

  private:
    // The folder the copy is in, on the disc and in the target.
    struct Walk {
        FolderChain& source;
        FolderChain& target;
    };
    enum class Scanned { Done, Cancelled, Refused };
    // Reads the disc's folders, then where their files lie: `order` stays empty for name order.
    Scanned ScanDisc(FolderChain& source, SourceNode& root, const std::string& sourceFolder,
                     std::optional<CopyOrder>& order);
    ErrorDecision AskTooManyEntries(const std::string& sourceFolder);
    std::optional<CopyOrder> DiscOrder(SourceNode& root, const std::string& sourceFolder);
    Flow CopyFolder(Walk& walk, SourceNode& node, const PlacePtr& place);
    Flow EnterFolder(Walk& walk, const PlacePtr& parent, SourceNode& node);
    Flow CopyInOrder(Walk& walk, const CopyOrder& order, const PlacePtr& root);
    // Opens a folder of the one the walk is in, on the disc and in the target, and makes it
    // the current one: `place` is where it was found before, or is set on this first visit.
    enum class Entered { Yes, Skipped, Cancelled };
    Entered EnterPair(Walk& walk, const PlacePtr& parent, SourceNode& node, PlacePtr& place);
    // Copies a file of the folder the walk is in. When that folder cannot be opened and the
    // user skips it, `skipRest` says its other files are to be left out too.
    Flow CopyFile(Walk& walk, const PlacePtr& place, const SourceNode& file, bool& skipRest);
    Flow ReadAgainOnError(Walk& walk, SourceNode& folder, const std::string& path);
    Flow Refuse(const SourceNode& folder, const std::string& path);
    void SkipSubtree(const SourceNode& folder);
    std::string Summary() const;

    CopyOperation operation_;
    CopyBatch batch_;
    SourceScan scan_;
    std::string sourceFolder_;
    bool refused_ = false;  // the disc holds too much to be copied
    StartsReader startsReader_;
};

}  // namespace dravolin::lnx

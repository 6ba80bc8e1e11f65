#pragma once
#include <string>
#include "platform/linux/copy/CopyBatch.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/copy/CopyOperation.h"
#include "platform/linux/copy/FolderChain.h"
#include "platform/linux/copy/SourceTree.h"

namespace dravolin::lnx {

// Copies the whole tree of a folder into another folder: regular files and folders only.
// Symbolic links are never followed (every step opens relative to an open folder with
// O_NOFOLLOW), devices, FIFOs and sockets are left out, set-id bits are dropped, and nothing is
// created anywhere but below the target folder. The disc's folders are read first (with
// progress, and Cancel looked at before each folder), then copied. Runs on the calling thread;
// cancellable between blocks through the prompts or the worker's cancel flag. It holds a
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

  private:
    // The folder the copy is in, on the disc and in the target.
    struct Walk {
        FolderChain& source;
        FolderChain& target;
    };
    enum class Scanned { Done, Cancelled, Refused };
    Scanned ScanDisc(FolderChain& source, SourceNode& root, const std::string& sourceFolder);
    ErrorDecision AskTooManyEntries(const std::string& sourceFolder);
    Flow CopyFolder(Walk& walk, SourceNode& node, const PlacePtr& place);
    Flow EnterFolder(Walk& walk, const PlacePtr& parent, SourceNode& node);
    Flow ReadAgainOnError(Walk& walk, SourceNode& folder, const std::string& path);
    Flow Refuse(const SourceNode& folder, const std::string& path);
    void SkipSubtree(const SourceNode& folder);
    std::string Summary() const;

    CopyOperation operation_;
    CopyBatch batch_;
    SourceScan scan_;
    std::string sourceFolder_;
    bool refused_ = false;  // the disc holds too much to be copied
};

}  // namespace dravolin::lnx

#pragma once
#include <string>
#include "platform/linux/CopyBatch.h"
#include "platform/linux/CopyPrompts.h"
#include "platform/linux/CopySession.h"

namespace dravolin::lnx {

// Copies the whole tree of a folder into another folder: regular files and folders only.
// Symbolic links are never followed (every step opens relative to an open folder with
// O_NOFOLLOW), devices, FIFOs and sockets are left out, set-id bits are dropped, and nothing is
// created anywhere but below the target folder. Runs on the calling thread; cancellable between
// blocks through the prompts or the worker's cancel flag.
class TreeCopier {
  public:
    TreeCopier(CopyIo& io, CopyPrompts& prompts) : session_(io, prompts), batch_(session_) {}

    struct Result {
        CopyOutcome outcome = CopyOutcome::Failed;
        std::string summary;  // what was left out; empty when nothing was
    };
    // The target folder and its parents are created when missing.
    Result Copy(const std::string& sourceFolder, const std::string& targetFolder);

  private:
    Flow CopyFolder(const FolderPtr& folder, SourceNode& node);
    Flow EnterFolder(const FolderPair& parent, SourceNode& node);
    Flow ListAgainOnError(int sourceFd, SourceNode& folder, const std::string& path);
    void SkipSubtree(const SourceNode& folder);
    std::string Summary() const;

    CopySession session_;
    CopyBatch batch_;
};

}  // namespace dravolin::lnx

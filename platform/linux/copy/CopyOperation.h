#pragma once
#include <cstdint>
#include <random>
#include <string>
#include "platform/linux/copy/ArchiveRecord.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/copy/FileData.h"
#include "platform/linux/copy/RecoveringRead.h"
#include "platform/linux/copy/SourceTree.h"
#include "platform/linux/copy/TempFiles.h"

namespace dravolin::lnx {

enum class Flow { Continue, Cancel };

// The state one copy operation shares between its folders and files: the prompts, the
// running totals and the answers that hold for the rest of the operation.
class CopyOperation {
  public:
    CopyOperation(CopyIo& io, CopyPrompts& prompts);
    // An archive copy: its files are hashed, read errors of their data are recovered, and
    // nothing is asked; what it wrote, and what ended it, go to `record`.
    CopyOperation(CopyIo& io, CopyPrompts& prompts, ArchiveRecord& record);

    CopyIo& Io() { return io_; }
    FileData& Data() { return data_; }
    // Null unless this is an archive copy.
    ArchiveRecord* Archive() { return archive_; }
    RecoveringRead& Recovering() { return recovering_; }
    CopyProgress& Progress() { return progress_; }
    SkippedEntries& Skipped() { return skipped_; }
    const SkippedEntries& Skipped() const { return skipped_; }
    bool AnyFailure() const { return anyFailure_; }

    // The worker's cancel flag or the progress window's Cancel.
    bool Cancelled();
    // Tells the prompts where the copy stands; false once cancelled.
    bool Report();
    // Asks what to do about a failure; Cancel once the operation is cancelled. Skip is
    // remembered so the operation can say it did not copy everything. An archive copy asks
    // nobody: the failure ends it (Cancel), and its record keeps the first one.
    ErrorDecision AskError(const std::string& path, int errorNumber, const std::string& what);
    // The same with a sentence of the caller's own, for what no errno says.
    ErrorDecision AskFailure(const CopyFailure& failure);
    // A failure of the disc itself: a file or folder that cannot be opened, listed or read
    // whole. Asked like any other, but an archive copy goes on without it (Skip), listing it
    // as unread; its path is the disc's, relative to the root.
    ErrorDecision AskDiscFailure(const CopyFailure& failure);
    ErrorDecision AskDiscError(const std::string& path, int errorNumber, const std::string& what);
    // The operation will not say it completed, whatever comes after.
    void MarkFailed() { anyFailure_ = true; }
    // Replace or skip an existing file, honouring "all" answers given earlier. An archive copy
    // writes into a folder of its own and never replaces: a name met there ends it as a failure.
    ReplaceDecision AskReplace(const ReplaceQuestion& question);
    // Counts a file as done without copying it.
    void SkipFile(std::uint64_t bytes);

    // A fresh temporary name for the target folder, never a name from the disc: it starts with
    // a dot, names this process, and its random part makes two copies into one folder never
    // meet.
    std::string TempName();
    // This process, as the writer of the temporary files.
    const TempOwner& Owner() const { return owner_; }

  private:
    CopyIo& io_;
    CopyPrompts& prompts_;
    FileData data_;
    ArchiveRecord* archive_ = nullptr;
    RecoveringRead recovering_;
    CopyProgress progress_;
    SkippedEntries skipped_;
    bool replaceAll_ = false;
    bool skipAll_ = false;
    bool stopped_ = false;
    bool anyFailure_ = false;
    TempOwner owner_;
    std::mt19937_64 random_;
};

}  // namespace dravolin::lnx

#pragma once
#include <sys/stat.h>
#include <memory>
#include <string>
#include <vector>
#include "platform/linux/CopySession.h"
#include "platform/linux/SourceTree.h"
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

// A source folder and the target folder its files go to, open for as long as any of its files
// waits in a batch.
struct FolderPair {
    UniqueFd source;
    UniqueFd target;
    std::string targetPath;    // for messages
    std::string relativePath;  // of the folder on the disc, "" for its root
};
using FolderPtr = std::shared_ptr<const FolderPair>;

// A file written in full under a temporary name, waiting to be flushed and renamed.
struct WrittenFile {
    const SourceNode* file;
    FolderPtr folder;
    std::string temp;
    bool mayReplace;  // the user agreed to replace what stands there
    int flushError;   // errno of the flush; 0 once the data are on the disk
};

// The files written but not yet in place, across folders. Each file is flushed before it gets
// its real name, so no interruption leaves a truncated file under a real name. The flushes are
// batched: one syncfs (one cache flush of the disk) for many files, where an fdatasync per
// file costs a disk flush each and made a copy of many small files over ten times slower than
// cp. When the batch flush reports an error, each file is flushed on its own to find the one
// that failed. Written files are closed while they wait, so a batch holds few descriptors.
class CopyBatch {
  public:
    explicit CopyBatch(CopySession& session) : session_(session) {}
    // Removes every temporary file not yet renamed into place.
    ~CopyBatch();
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    void Add(WrittenFile written);
    bool Full() const;
    // Flushes and renames what is written. Once the copy is cancelled, files already complete
    // are still put in place where that needs no question; the others are removed.
    Flow Commit();

  private:
    void Flush(std::vector<WrittenFile>& batch);
    void CommitOne(WrittenFile& written, bool cancelling);

    CopySession& session_;
    std::vector<WrittenFile> pending_;
    std::uint64_t pendingBytes_ = 0;
};

// Text and paths of one file for questions and messages.
std::string RelativeOf(const FolderPair& folder, const SourceNode& file);
std::string TargetOf(const FolderPair& folder, const SourceNode& file);
ReplaceQuestion QuestionFor(const FolderPair& folder, const SourceNode& file,
                            const struct stat& existing);

}  // namespace dravolin::lnx

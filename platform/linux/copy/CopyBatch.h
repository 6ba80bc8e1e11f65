#pragma once
#include <sys/stat.h>
#include <map>
#include <optional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include "platform/linux/copy/CopyOperation.h"
#include "platform/linux/copy/FolderChain.h"
#include "platform/linux/copy/SourceTree.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// The disc's root folder and the target folder, open for the whole copy: every other folder
// of the copy is found again from them by name.
struct FolderRoots {
    UniqueFd source;
    UniqueFd target;
};

// Where a folder of the copy is, without holding it open.
struct FolderPlace {
    std::shared_ptr<const FolderRoots> roots;
    std::string relativePath;  // on the disc, and below the target folder; "" for the roots
    std::string targetPath;    // absolute, for messages
    FileId source;             // what both folders were when the copy entered them
    FileId target;
    bool created = false;  // the copy made the target folder: it held nothing then
};
using PlacePtr = std::shared_ptr<const FolderPlace>;

// The folder pair again, opened by name from the roots, never through a link, and only if it
// is still the same folder; invalid with errno set otherwise.
UniqueFd OpenSourceOf(const FolderPlace& place);
UniqueFd OpenTargetOf(const FolderPlace& place);

// A folder pair while the copy is in it: descriptors lent by whoever holds them open.
struct OpenFolder {
    const PlacePtr& place;
    int source;
    int target;
};

// A file written in full under a temporary name, waiting to be flushed and renamed.
struct WrittenFile {
    SourceNode file;
    PlacePtr place;
    std::string temp;
    bool mayReplace;  // the user agreed to replace what stands there
    int flushError;   // errno of the flush; 0 once the data are on the disk
    // The descriptor it was written through, holding the lock that tells other copies cleaning
    // the folder that this file is not abandoned (HoldWriteLock): open until the rename.
    UniqueFd fd;
    // An archive copy's account of the file: recorded once the file has its name, so that no
    // bag lists a file whose flush or rename failed.
    std::optional<ArchivedFile> archived = std::nullopt;
};

// The files written but not yet in place, across folders. Each file is flushed before it gets
// its real name, so no interruption leaves a truncated file under a real name. The flushes are
// batched: one syncfs (one cache flush of the disk) for many files, where an fdatasync per
// file costs a disk flush each and made a copy of many small files over ten times slower than
// cp. The flush of one batch runs on a helper thread while the copy writes the next, so that
// the wait for the disk overlaps with the copying. When the batch flush reports an error, each
// file is flushed on its own to find the one that failed. A waiting file keeps the descriptor
// of its own lock, but none of its folder: the folder is found again by name when its batch is
// renamed into place. A batch is full at its share of the process's descriptor limit, so the
// descriptors of a copy stay bounded whatever the shape of the disc's tree.
class CopyBatch {
  public:
    explicit CopyBatch(CopyOperation& operation);
    // Removes every temporary file not yet renamed into place.
    ~CopyBatch();
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    // The folder the copy goes into: its file system is flushed at the end.
    void Begin(const PlacePtr& root);
    // `target` is the open folder the file was written in.
    void Add(int target, WrittenFile written);
    bool Full() const;
    // Renames into place the batch whose flush was started last, once that flush is done, and
    // starts the flush of what is written since. Once the copy is cancelled, files already
    // complete are still put in place where that needs no question; the others are removed.
    Flow Commit();
    // Flushes and renames everything written, then flushes every file system the copy wrote to,
    // so that the names given last are on the disk too. A failure is asked about as any other,
    // and the copy then never says it completed: the kernel reports a lost write only once, so
    // a retry that succeeds does not bring back what was lost.
    Flow Finish();

  private:
    // One descriptor per file system written to, opened before the copy wrote there: its
    // flush then reports every write of the copy that failed on it.
    struct Disk {
        UniqueFd fd;
        std::string path;  // a folder on it, for messages
    };
    void NoteDisk(int target, const FolderPlace& place);
    // Starts the flush of the pending files.
    void Launch();
    // Waits for the flush started last and renames its files into place.
    void Land();
    void FlushEach(std::vector<WrittenFile>& batch, const std::set<dev_t>* failed);
    void CommitOne(WrittenFile& written, int dir, int dirError, bool cancelling);
    void WriteAgain(WrittenFile& written, int dir);

    CopyOperation& operation_;
    std::size_t maxFiles_;  // per batch: two batches hold twice as many descriptors
    std::vector<WrittenFile> pending_;
    std::uint64_t pendingBytes_ = 0;
    // The batch `flusher_` flushes while the copy writes the next one, and the file systems
    // whose flush failed; both belong to the helper thread until it is joined.
    std::vector<WrittenFile> flying_;
    std::set<dev_t> flyingFailed_;
    std::thread flusher_;
    std::map<dev_t, Disk> disks_;
};

// Text and paths of one file for questions and messages.
std::string RelativeOf(const FolderPlace& folder, const SourceNode& file);
std::string TargetOf(const FolderPlace& folder, const SourceNode& file);
ReplaceQuestion QuestionFor(const FolderPlace& folder, const SourceNode& file,
                            const struct stat& existing);

}  // namespace dravolin::lnx

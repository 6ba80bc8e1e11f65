#pragma once
#include <sys/types.h>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>
#include "platform/linux/copy/FolderChain.h"

namespace dravolin::lnx {

class CopyOperation;

// Why a folder's files are not all known.
enum class FolderProblem {
    None,
    Unreadable,  // listing it failed (`error`); what could be read is there
    Loop,        // it is the folder it is in, or one above: entering it would never end
    TooDeep,     // it lies deeper than the limit
};

// One regular file or folder of the disc. Links and special files never become nodes.
struct SourceNode {
    std::string name;
    bool folder = false;
    std::uint64_t size = 0;
    mode_t mode = 0;
    timespec modified{};
    FileId id;  // of a folder, as its listing saw it
    FolderProblem problem = FolderProblem::None;
    int error = 0;  // the errno of an Unreadable folder
    std::vector<SourceNode> children;
};

// What a scan left out, for the summary at the end.
struct SkippedEntries {
    std::uint64_t links = 0;
    std::uint64_t special = 0;  // devices, FIFOs, sockets
    std::uint64_t badNames = 0;
};
// "Not copied: ..." for what was skipped; empty where nothing was.
std::string SkippedSummary(const SkippedEntries& skipped);

// What a disc may hold before it is refused: a broken or hostile disc can make its folders
// refer to one another, so that reading them would never end.
struct ScanLimits {
    std::uint64_t maxEntries = 1'000'000;  // files and folders
    std::size_t maxDepth = 256;            // levels of folders below the root
};

struct SubtreeSize {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t entries = 0;  // files and folders below the node
};
SubtreeSize SizeOf(const SourceNode& node);

// Reads a disc's folders into a tree before they are copied, one folder at a time, never
// following a link. Children are sorted by name, so a copy's order does not depend on the file
// system. Before each folder is read it reports progress, with the totals found so far, and
// stops when the copy is cancelled. A folder already on the way down from the root is never
// entered again, nor one below the depth limit; these are marked for the copy to report.
class SourceScan {
  public:
    enum class Outcome { Done, Cancelled, TooManyEntries };
    SourceScan(CopyOperation& operation, ScanLimits limits)
        : operation_(operation), limits_(limits) {}

    // Reads the folder current in `chain` into `folder`, and every folder below it; the chain
    // is back at `folder` when it returns. What `folder` held before is forgotten, so a
    // folder that could not be read is read again this way, at its own depth.
    // `relative` is the folder's path below the root, for what an archive copy lists.
    Outcome Scan(FolderChain& chain, SourceNode& folder, const std::string& relative = {});
    const ScanLimits& Limits() const { return limits_; }

  private:
    Outcome ScanFolder(FolderChain& chain, SourceNode& folder);
    // False when the folder holds more entries than the limit leaves room for; what was read
    // up to there is in `folder`.
    bool List(int folderFd, SourceNode& folder);
    // Gives each name to `take` until it answers false; the errno of a failed read, else 0.
    int ReadNames(int folderFd, const std::function<bool(const char*)>& take);

    CopyOperation& operation_;
    ScanLimits limits_;
    std::uint64_t entries_ = 0;
    std::string relative_;  // of the folder being read
    std::vector<char> buffer_;
};

}  // namespace dravolin::lnx

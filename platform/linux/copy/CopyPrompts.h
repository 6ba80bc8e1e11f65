#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include "platform/Types.h"
#include "platform/linux/mount/MountFailure.h"

namespace dravolin::lnx {

// What the progress window shows while the disc's folders are read, before the copy.
inline constexpr char kReadingDiscFolders[] = "reading the disc's folders";

// Where a copy stands. Paths are relative to the disc's root, separated by '/'.
struct CopyProgress {
    // The disc's folders are being read: `currentFile` is kReadingDiscFolders, and the totals
    // grow with every folder read. Once the copy starts they stand (a folder that could not be
    // read and is read again on Retry adds to them).
    bool scanning = false;
    std::string currentFile;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::uint64_t filesDone = 0;  // copied or skipped
    std::uint64_t filesTotal = 0;
};

// A file of the disc meets a file of the same name in the target folder.
struct ReplaceQuestion {
    std::string targetPath;    // absolute
    std::string relativePath;  // as in CopyProgress
    std::uint64_t existingSize = 0;
    std::int64_t existingModified = 0;  // seconds since the epoch
    std::uint64_t incomingSize = 0;
    std::int64_t incomingModified = 0;
};
enum class ReplaceDecision { Replace, ReplaceAll, Skip, SkipAll, Cancel };

// Something could not be read, written or created.
struct CopyFailure {
    std::string path;  // the file or folder concerned, or the drive when mounting failed
    int errorNumber = 0;
    // A sentence for the user: what failed and why. When the disc could not be mounted, the
    // short reason the system gave, and `mount` says what it means.
    std::string text;
    std::optional<MountProblem> mount = std::nullopt;
};

// The disc a copy reads, as the user knows it.
struct CopySource {
    char letter = 0;    // the drive's letter; 0 when the source names no drive
    std::string drive;  // the drive as the dialog's list names it: "DATA (E:)"
};
enum class ErrorDecision { Retry, Skip, Cancel };

enum class CopyOutcome { Completed, Cancelled, Failed };

// The face of one copy operation: its progress window, the replace question asked for every
// existing file and the question asked for every error. Every call comes from the copying
// worker thread; an implementation that shows windows hands the question to its UI thread and
// blocks the worker until the user answers. When the owner window goes away, it must answer
// at once (Cancel) instead of waiting for a user who is no longer there.
class CopyPrompts {
  public:
    virtual ~CopyPrompts() = default;
    // The disc's files are at `folder` (where it is mounted); called before the first
    // OnProgress.
    virtual void OnMounted(const std::string& folder) = 0;
    // Called when a file starts and after every block. False cancels the copy (the progress
    // window's Cancel button); the file being written is then removed.
    virtual bool OnProgress(const CopyProgress& progress) = 0;
    // Never asked again for the rest of the operation after ReplaceAll or SkipAll.
    virtual ReplaceDecision AskReplace(const ReplaceQuestion& question) = 0;
    virtual ErrorDecision AskError(const CopyFailure& failure) = 0;
    // The last call. `summary` tells what was left out (links, special files), may be empty.
    virtual void OnFinished(CopyOutcome outcome, const std::string& summary) = 0;
};

// Makes the prompts of each copy operation; shared by all workers, so thread-safe.
class CopyPromptsFactory {
  public:
    virtual ~CopyPromptsFactory() = default;
    // Called on the worker thread when an operation starts, before the disc is mounted.
    // `target` is the folder the files go to. Never returns null.
    virtual std::unique_ptr<CopyPrompts> Begin(WindowHandle owner, const CopySource& source,
                                               const std::string& target) = 0;
};

}  // namespace dravolin::lnx

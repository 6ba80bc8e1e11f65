#pragma once
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include "platform/Types.h"
#include "platform/linux/mount/MountFailure.h"

class QObject;

namespace dravolin::qt {

class CopyBoard;

// What the progress window shows. Paths are relative to the disc's root.
struct CopyProgressView {
    std::string currentFile;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
};

struct ReplaceQuestionView {
    std::string targetPath;
    std::uint64_t existingSize = 0;
    std::int64_t existingModified = 0;  // seconds since the epoch
    std::uint64_t incomingSize = 0;
    std::int64_t incomingModified = 0;
};
enum class ReplaceAnswer { Yes, YesToAll, No, NoToAll, Cancel };

struct ErrorView {
    std::string path;
    // What failed and why; when the disc could not be mounted, the system's short reason,
    // and `mount` what it means.
    std::string text;
    std::optional<lnx::MountProblem> mount = std::nullopt;
};
enum class ErrorAnswer { Retry, Skip, Cancel };

// The line between one copy's worker and the dialog's windows. The worker side posts what it
// has to show to the UI thread and, for a question, waits until the user answers, cancels,
// or the dialog goes away; it never touches a widget. Thread-safe.
class CopySession : public std::enable_shared_from_this<CopySession> {
  public:
    // `drive` names the drive as the dialog's list does.
    CopySession(std::string drive, std::string target)
        : drive_(std::move(drive)), target_(std::move(target)) {}

    // Worker side. The folder the disc's files are read from, before the first Progress.
    void SetFolder(const std::string& folder);
    // Progress is coalesced: at most one update waits in the UI queue. False once the copy is
    // to stop.
    bool Progress(const CopyProgressView& progress);
    ReplaceAnswer AskReplace(const ReplaceQuestionView& question);
    ErrorAnswer AskError(const ErrorView& error);
    void Finish(bool completed, const std::string& summary);

    // UI side.
    const std::string& Drive() const { return drive_; }
    std::string Folder() const;
    const std::string& Target() const { return target_; }
    CopyProgressView TakeProgress();
    void Answer(int answer);
    void RequestCancel();
    bool CancelRequested() const;

    // The board that shows this session; null ends every wait at once with Cancel and makes
    // the session silent from then on.
    void AttachTo(CopyBoard* board);
    void Close() { AttachTo(nullptr); }

  private:
    // Waits for the answer to the question just posted; -1 when there will be none.
    int WaitForAnswer(std::unique_lock<std::mutex>& lock);

    const std::string drive_;
    const std::string target_;
    mutable std::mutex mutex_;
    std::string folder_;
    std::condition_variable changed_;
    CopyBoard* board_ = nullptr;
    bool closed_ = false;
    bool cancel_ = false;
    CopyProgressView progress_;
    bool progressQueued_ = false;
    std::optional<int> answer_;
    std::uint64_t question_ = 0;
};

// Finds the board of the dialog that owns a copy. Shared by the workers; thread-safe.
class CopySessions {
  public:
    // A session shown by the owner's board, or a closed one (every question answered Cancel)
    // when the owner is gone.
    std::shared_ptr<CopySession> Begin(WindowHandle owner, std::string drive, std::string target);

    // UI side: the board of a dialog, from its creation to its destruction.
    void Register(WindowHandle owner, CopyBoard* board);
    void Unregister(WindowHandle owner);

  private:
    std::mutex mutex_;
    std::map<WindowHandle, CopyBoard*> boards_;
};

}  // namespace dravolin::qt

#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::qt {

class CopyBoard;

// The line between one copy's worker and the dialog's windows: the copy engine's prompts on
// the desktop. The worker side posts what it has to show to the UI thread and, for a question,
// waits until the user answers, cancels, or the dialog goes away; it never touches a widget.
// Thread-safe.
class CopyChannel : public lnx::CopyPrompts, public std::enable_shared_from_this<CopyChannel> {
  public:
    // `drive` names the drive as the dialog's list does.
    CopyChannel(std::string drive, std::string target)
        : drive_(std::move(drive)), target_(std::move(target)) {}

    // Worker side. Progress is coalesced: at most one update waits in the UI queue.
    void OnMounted(const std::string& folder) override;
    bool OnProgress(const lnx::CopyProgress& progress) override;
    lnx::ReplaceDecision AskReplace(const lnx::ReplaceQuestion& question) override;
    lnx::ErrorDecision AskError(const lnx::CopyFailure& failure) override;
    void OnFinished(lnx::CopyOutcome outcome, const std::string& summary) override;

    // UI side.
    const std::string& Drive() const { return drive_; }
    std::string Folder() const;
    const std::string& Target() const { return target_; }
    lnx::CopyProgress TakeProgress();
    // The answer to the question shown last: a lnx::ReplaceDecision or lnx::ErrorDecision.
    void Answer(int answer);
    void RequestCancel();
    bool CancelRequested() const;

    // The board that shows this channel; null ends every wait at once with Cancel and makes
    // the channel silent from then on.
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
    lnx::CopyProgress progress_;
    bool progressQueued_ = false;
    std::optional<int> answer_;
    std::uint64_t question_ = 0;
};

}  // namespace dravolin::qt

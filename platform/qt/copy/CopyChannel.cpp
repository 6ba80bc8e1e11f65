#include "platform/qt/copy/CopyChannel.h"

#include <QMetaObject>
#include "platform/qt/copy/CopyBoard.h"

namespace dravolin::qt {

namespace {
constexpr int kCancelAnswer = -1;
}  // namespace

void CopyChannel::OnMounted(const std::string& folder) {
    std::lock_guard lock(mutex_);
    folder_ = folder;
}

std::string CopyChannel::Folder() const {
    std::lock_guard lock(mutex_);
    return folder_;
}

bool CopyChannel::OnProgress(const lnx::CopyProgress& progress) {
    std::lock_guard lock(mutex_);
    if (closed_ || cancel_) return false;
    progress_ = progress;
    if (board_ && !progressQueued_) {
        progressQueued_ = true;
        CopyBoard* board = board_;
        QMetaObject::invokeMethod(
            board, [board, self = shared_from_this()] { board->ShowProgress(self); },
            Qt::QueuedConnection);
    }
    return true;
}

lnx::ReplaceDecision CopyChannel::AskReplace(const lnx::ReplaceQuestion& question) {
    std::unique_lock lock(mutex_);
    if (!board_ || closed_ || cancel_) return lnx::ReplaceDecision::Cancel;
    CopyBoard* board = board_;
    const std::uint64_t id = ++question_;
    QMetaObject::invokeMethod(
        board,
        [board, question, id, self = shared_from_this()] {
            board->ShowReplace(self, id, question);
        },
        Qt::QueuedConnection);
    const int answer = WaitForAnswer(lock);
    return answer == kCancelAnswer ? lnx::ReplaceDecision::Cancel
                                   : static_cast<lnx::ReplaceDecision>(answer);
}

lnx::ErrorDecision CopyChannel::AskError(const lnx::CopyFailure& error) {
    std::unique_lock lock(mutex_);
    if (!board_ || closed_ || cancel_) return lnx::ErrorDecision::Cancel;
    CopyBoard* board = board_;
    const std::uint64_t id = ++question_;
    QMetaObject::invokeMethod(
        board, [board, error, id, self = shared_from_this()] { board->ShowError(self, id, error); },
        Qt::QueuedConnection);
    const int answer = WaitForAnswer(lock);
    return answer == kCancelAnswer ? lnx::ErrorDecision::Cancel
                                   : static_cast<lnx::ErrorDecision>(answer);
}

int CopyChannel::WaitForAnswer(std::unique_lock<std::mutex>& lock) {
    answer_.reset();
    changed_.wait(lock, [this] { return answer_.has_value() || closed_ || cancel_; });
    if (!answer_) return kCancelAnswer;
    const int answer = *answer_;
    answer_.reset();
    return answer;
}

void CopyChannel::OnFinished(lnx::CopyOutcome, const std::string& summary) {
    std::lock_guard lock(mutex_);
    if (!board_ || closed_) return;
    CopyBoard* board = board_;
    QMetaObject::invokeMethod(
        board, [board, summary, self = shared_from_this()] { board->Finish(self, summary); },
        Qt::QueuedConnection);
}

lnx::CopyProgress CopyChannel::TakeProgress() {
    std::lock_guard lock(mutex_);
    progressQueued_ = false;
    return progress_;
}

void CopyChannel::Answer(int answer) {
    {
        std::lock_guard lock(mutex_);
        answer_ = answer;
    }
    changed_.notify_all();
}

void CopyChannel::RequestCancel() {
    {
        std::lock_guard lock(mutex_);
        cancel_ = true;
    }
    changed_.notify_all();
}

bool CopyChannel::CancelRequested() const {
    std::lock_guard lock(mutex_);
    return cancel_;
}

void CopyChannel::AttachTo(CopyBoard* board) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        board_ = board;
        closed_ = board == nullptr;
    }
    changed_.notify_all();
}

}  // namespace dravolin::qt

#include "platform/qt/CopySession.h"

#include <QMetaObject>
#include "platform/qt/CopyBoard.h"

namespace dravolin::qt {

namespace {
constexpr int kCancelAnswer = -1;
}  // namespace

void CopySession::SetFolder(const std::string& folder) {
    std::lock_guard lock(mutex_);
    folder_ = folder;
}

std::string CopySession::Folder() const {
    std::lock_guard lock(mutex_);
    return folder_;
}

bool CopySession::Progress(const CopyProgressView& progress) {
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

ReplaceAnswer CopySession::AskReplace(const ReplaceQuestionView& question) {
    std::unique_lock lock(mutex_);
    if (!board_ || closed_ || cancel_) return ReplaceAnswer::Cancel;
    CopyBoard* board = board_;
    const std::uint64_t id = ++question_;
    QMetaObject::invokeMethod(
        board,
        [board, question, id, self = shared_from_this()] {
            board->ShowReplace(self, id, question);
        },
        Qt::QueuedConnection);
    const int answer = WaitForAnswer(lock);
    return answer == kCancelAnswer ? ReplaceAnswer::Cancel : static_cast<ReplaceAnswer>(answer);
}

ErrorAnswer CopySession::AskError(const ErrorView& error) {
    std::unique_lock lock(mutex_);
    if (!board_ || closed_ || cancel_) return ErrorAnswer::Cancel;
    CopyBoard* board = board_;
    const std::uint64_t id = ++question_;
    QMetaObject::invokeMethod(
        board, [board, error, id, self = shared_from_this()] { board->ShowError(self, id, error); },
        Qt::QueuedConnection);
    const int answer = WaitForAnswer(lock);
    return answer == kCancelAnswer ? ErrorAnswer::Cancel : static_cast<ErrorAnswer>(answer);
}

int CopySession::WaitForAnswer(std::unique_lock<std::mutex>& lock) {
    answer_.reset();
    changed_.wait(lock, [this] { return answer_.has_value() || closed_ || cancel_; });
    if (!answer_) return kCancelAnswer;
    const int answer = *answer_;
    answer_.reset();
    return answer;
}

void CopySession::Finish(bool completed, const std::string& summary) {
    std::lock_guard lock(mutex_);
    if (!board_ || closed_) return;
    CopyBoard* board = board_;
    QMetaObject::invokeMethod(
        board,
        [board, completed, summary, self = shared_from_this()] {
            board->Finish(self, completed, summary);
        },
        Qt::QueuedConnection);
}

CopyProgressView CopySession::TakeProgress() {
    std::lock_guard lock(mutex_);
    progressQueued_ = false;
    return progress_;
}

void CopySession::Answer(int answer) {
    {
        std::lock_guard lock(mutex_);
        answer_ = answer;
    }
    changed_.notify_all();
}

void CopySession::RequestCancel() {
    {
        std::lock_guard lock(mutex_);
        cancel_ = true;
    }
    changed_.notify_all();
}

bool CopySession::CancelRequested() const {
    std::lock_guard lock(mutex_);
    return cancel_;
}

void CopySession::AttachTo(CopyBoard* board) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        board_ = board;
        closed_ = board == nullptr;
    }
    changed_.notify_all();
}

std::shared_ptr<CopySession> CopySessions::Begin(WindowHandle owner, std::string drive,
                                                 std::string target) {
    auto session = std::make_shared<CopySession>(std::move(drive), std::move(target));
    std::lock_guard lock(mutex_);
    auto it = boards_.find(owner);
    if (it == boards_.end()) {
        session->Close();
    } else {
        it->second->Adopt(session);
    }
    return session;
}

void CopySessions::Register(WindowHandle owner, CopyBoard* board) {
    std::lock_guard lock(mutex_);
    boards_[owner] = board;
}

void CopySessions::Unregister(WindowHandle owner) {
    std::lock_guard lock(mutex_);
    boards_.erase(owner);
}

}  // namespace dravolin::qt

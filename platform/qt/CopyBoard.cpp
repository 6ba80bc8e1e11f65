#include "platform/qt/CopyBoard.h"

#include <QMessageBox>
#include "platform/qt/CopyWindows.h"
#include "platform/qt/PathText.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

CopyBoard::CopyBoard(QWidget& owner, Language language, std::shared_ptr<CopySessions> sessions)
    : owner_(owner), language_(language), sessions_(std::move(sessions)) {
    if (sessions_) sessions_->Register(HandleOf(&owner_), this);
}

CopyBoard::~CopyBoard() {
    // No session is adopted after this, and every adopted one stops waiting for the UI.
    if (sessions_) sessions_->Unregister(HandleOf(&owner_));
    std::lock_guard lock(mutex_);
    for (const auto& weak : adopted_) {
        if (auto session = weak.lock()) session->Close();
    }
}

void CopyBoard::Adopt(const std::shared_ptr<CopySession>& session) {
    std::lock_guard lock(mutex_);
    std::erase_if(adopted_, [](const auto& weak) { return weak.expired(); });
    adopted_.push_back(session);
    session->AttachTo(this);
}

ProgressWindow& CopyBoard::WindowFor(const std::shared_ptr<CopySession>& session) {
    std::unique_ptr<ProgressWindow>& window = windows_[session.get()];
    if (!window) {
        std::weak_ptr<CopySession> weak = session;
        window = std::make_unique<ProgressWindow>(
            owner_, CopyTextsOf(language_), QString::fromStdString(session->Drive()),
            TextOfPath(session->Folder()), TextOfPath(session->Target()), [weak] {
                if (auto alive = weak.lock()) alive->RequestCancel();
            });
        window->show();
    }
    return *window;
}

// UI thread only.
void CopyBoard::ShowProgress(const std::shared_ptr<CopySession>& session) {
    WindowFor(session).Update(session->TakeProgress());
}

void CopyBoard::ShowPrompt(const std::shared_ptr<CopySession>& session,
                           std::unique_ptr<QDialog> prompt) {
    QPointer<QDialog>& slot = prompts_[session.get()];
    if (slot) slot->deleteLater();
    slot = prompt.release();  // a child of the dialog, deleted with it at the latest
    slot->show();
    slot->raise();
}

// UI thread only.
void CopyBoard::ShowReplace(const std::shared_ptr<CopySession>& session, std::uint64_t,
                            const ReplaceQuestionView& view) {
    std::weak_ptr<CopySession> weak = session;
    auto prompt = MakeReplacePrompt(owner_, CopyTextsOf(language_), view, [weak](int answer) {
        if (auto alive = weak.lock()) alive->Answer(answer);
    });
    ShowPrompt(session, std::move(prompt));
}

// UI thread only.
void CopyBoard::ShowError(const std::shared_ptr<CopySession>& session, std::uint64_t,
                          const ErrorView& view) {
    std::weak_ptr<CopySession> weak = session;
    auto prompt = MakeErrorPrompt(owner_, CopyTextsOf(language_), view,
                                  QString::fromStdString(session->Drive()), [weak](int answer) {
                                      if (auto alive = weak.lock()) alive->Answer(answer);
                                  });
    ShowPrompt(session, std::move(prompt));
}

// UI thread only.
void CopyBoard::Finish(const std::shared_ptr<CopySession>& session, bool,
                       const std::string& summary) {
    windows_.erase(session.get());
    auto prompt = prompts_.find(session.get());
    if (prompt != prompts_.end()) {
        if (prompt->second) prompt->second->deleteLater();
        prompts_.erase(prompt);
    }
    if (summary.empty()) return;
    auto note = std::make_unique<QMessageBox>(
        QMessageBox::Information, CopyTextsOf(language_).finishedTitle,
        QString::fromStdString(summary), QMessageBox::Ok, &owner_);
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->setWindowModality(Qt::NonModal);
    note.release()->show();  // deletes itself when closed, or goes with the dialog
}

std::vector<ProgressWindow*> CopyBoard::ProgressWindows() const {
    std::vector<ProgressWindow*> shown;
    for (const auto& [session, window] : windows_) shown.push_back(window.get());
    return shown;
}

QDialog* CopyBoard::OpenPrompt() const {
    for (const auto& [session, prompt] : prompts_) {
        if (prompt && prompt->isVisible()) return prompt.data();
    }
    return nullptr;
}

}  // namespace dravolin::qt

#include "platform/qt/copy/CopyBoard.h"

#include <QMessageBox>
#include "platform/qt/copy/CopyWindows.h"
#include "platform/qt/PathText.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

CopyBoard::CopyBoard(QWidget& owner, Language language, std::shared_ptr<CopyChannels> channels)
    : owner_(owner), language_(language), channels_(std::move(channels)) {
    if (channels_) channels_->Register(HandleOf(&owner_), this);
}

CopyBoard::~CopyBoard() {
    // No channel is adopted after this, and every adopted one stops waiting for the UI.
    if (channels_) channels_->Unregister(HandleOf(&owner_));
    std::lock_guard lock(mutex_);
    for (const auto& weak : adopted_) {
        if (auto channel = weak.lock()) channel->Close();
    }
}

void CopyBoard::Adopt(const std::shared_ptr<CopyChannel>& channel) {
    std::lock_guard lock(mutex_);
    std::erase_if(adopted_, [](const auto& weak) { return weak.expired(); });
    adopted_.push_back(channel);
    channel->AttachTo(this);
}

ProgressWindow& CopyBoard::WindowFor(const std::shared_ptr<CopyChannel>& channel) {
    std::unique_ptr<ProgressWindow>& window = windows_[channel.get()];
    if (!window) {
        std::weak_ptr<CopyChannel> weak = channel;
        window = std::make_unique<ProgressWindow>(
            owner_, CopyTextsOf(language_), QString::fromStdString(channel->Drive()),
            TextOfPath(channel->Folder()), TextOfPath(channel->Target()), [weak] {
                if (auto alive = weak.lock()) alive->RequestCancel();
            });
        window->show();
    }
    return *window;
}

// UI thread only.
void CopyBoard::ShowProgress(const std::shared_ptr<CopyChannel>& channel) {
    WindowFor(channel).Update(channel->TakeProgress());
}

void CopyBoard::ShowPrompt(const std::shared_ptr<CopyChannel>& channel,
                           std::unique_ptr<QDialog> prompt) {
    QPointer<QDialog>& slot = prompts_[channel.get()];
    if (slot) slot->deleteLater();
    slot = prompt.release();  // a child of the dialog, deleted with it at the latest
    slot->show();
    slot->raise();
}

// UI thread only.
void CopyBoard::ShowReplace(const std::shared_ptr<CopyChannel>& channel, std::uint64_t,
                            const lnx::ReplaceQuestion& view) {
    std::weak_ptr<CopyChannel> weak = channel;
    auto prompt = MakeReplacePrompt(owner_, CopyTextsOf(language_), view, [weak](int answer) {
        if (auto alive = weak.lock()) alive->Answer(answer);
    });
    ShowPrompt(channel, std::move(prompt));
}

// UI thread only.
void CopyBoard::ShowError(const std::shared_ptr<CopyChannel>& channel, std::uint64_t,
                          const lnx::CopyFailure& view) {
    std::weak_ptr<CopyChannel> weak = channel;
    auto prompt = MakeErrorPrompt(owner_, CopyTextsOf(language_), view,
                                  QString::fromStdString(channel->Drive()), [weak](int answer) {
                                      if (auto alive = weak.lock()) alive->Answer(answer);
                                  });
    ShowPrompt(channel, std::move(prompt));
}

// UI thread only.
void CopyBoard::Finish(const std::shared_ptr<CopyChannel>& channel, const std::string& summary) {
    windows_.erase(channel.get());
    auto prompt = prompts_.find(channel.get());
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
    for (const auto& [channel, window] : windows_) shown.push_back(window.get());
    return shown;
}

QDialog* CopyBoard::OpenPrompt() const {
    for (const auto& [channel, prompt] : prompts_) {
        if (prompt && prompt->isVisible()) return prompt.data();
    }
    return nullptr;
}

}  // namespace dravolin::qt

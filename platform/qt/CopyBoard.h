#pragma once
#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <mutex>
#include <vector>
#include "platform/qt/CopySession.h"
#include "platform/qt/QtResources.h"

class QDialog;
class QWidget;

namespace dravolin::qt {

class ProgressWindow;

// The dialog's copy windows: a progress window for each running copy, and the replace and
// error prompts the workers ask. Lives on the UI thread and goes with the dialog; when it goes,
// every session is closed, so no worker waits for a prompt that will never be answered.
class CopyBoard : public QObject {
  public:
    CopyBoard(QWidget& owner, Language language, std::shared_ptr<CopySessions> sessions);
    ~CopyBoard() override;

    // Called by CopySessions on a worker thread while the board is registered.
    void Adopt(const std::shared_ptr<CopySession>& session);

    // UI thread, posted by the sessions.
    void ShowProgress(const std::shared_ptr<CopySession>& session);
    void ShowReplace(const std::shared_ptr<CopySession>& session, std::uint64_t question,
                     const ReplaceQuestionView& view);
    void ShowError(const std::shared_ptr<CopySession>& session, std::uint64_t question,
                   const ErrorView& view);
    void Finish(const std::shared_ptr<CopySession>& session, bool completed,
                const std::string& summary);

    // For the tests: the windows now shown.
    std::vector<ProgressWindow*> ProgressWindows() const;
    QDialog* OpenPrompt() const;

  private:
    ProgressWindow& WindowFor(const std::shared_ptr<CopySession>& session);
    void ShowPrompt(const std::shared_ptr<CopySession>& session, std::unique_ptr<QDialog> prompt);

    QWidget& owner_;
    Language language_;
    std::shared_ptr<CopySessions> sessions_;
    std::mutex mutex_;  // guards adopted_, which workers extend
    std::vector<std::weak_ptr<CopySession>> adopted_;
    std::map<const CopySession*, std::unique_ptr<ProgressWindow>> windows_;
    std::map<const CopySession*, QPointer<QDialog>> prompts_;
};

}  // namespace dravolin::qt

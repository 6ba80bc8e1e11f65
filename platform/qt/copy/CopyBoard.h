#pragma once
#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <mutex>
#include <vector>
#include "platform/qt/copy/CopyChannels.h"
#include "platform/qt/QtResources.h"

class QDialog;
class QWidget;

namespace dravolin::qt {

class ProgressWindow;

// The dialog's copy windows: a progress window for each running copy, and the replace and
// error prompts the workers ask. Lives on the UI thread and goes with the dialog; when it goes,
// every channel is closed, so no worker waits for a prompt that will never be answered.
class CopyBoard : public QObject {
  public:
    CopyBoard(QWidget& owner, Language language, std::shared_ptr<CopyChannels> channels);
    ~CopyBoard() override;

    // Called by CopyChannels on a worker thread while the board is registered.
    void Adopt(const std::shared_ptr<CopyChannel>& channel);

    // UI thread, posted by the channels.
    void ShowProgress(const std::shared_ptr<CopyChannel>& channel);
    void ShowReplace(const std::shared_ptr<CopyChannel>& channel, std::uint64_t question,
                     const lnx::ReplaceQuestion& view);
    void ShowError(const std::shared_ptr<CopyChannel>& channel, std::uint64_t question,
                   const lnx::CopyFailure& view);
    void Finish(const std::shared_ptr<CopyChannel>& channel, const std::string& summary);

    // For the tests: the windows now shown.
    std::vector<ProgressWindow*> ProgressWindows() const;
    QDialog* OpenPrompt() const;

  private:
    ProgressWindow& WindowFor(const std::shared_ptr<CopyChannel>& channel);
    void ShowPrompt(const std::shared_ptr<CopyChannel>& channel, std::unique_ptr<QDialog> prompt);

    QWidget& owner_;
    Language language_;
    std::shared_ptr<CopyChannels> channels_;
    std::mutex mutex_;  // guards adopted_, which workers extend
    std::vector<std::weak_ptr<CopyChannel>> adopted_;
    std::map<const CopyChannel*, std::unique_ptr<ProgressWindow>> windows_;
    std::map<const CopyChannel*, QPointer<QDialog>> prompts_;
};

}  // namespace dravolin::qt

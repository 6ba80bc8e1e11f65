#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include "platform/DialogWindow.h"
#include "platform/qt/copy/CopyChannels.h"
#include "platform/qt/QtDialog.h"
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

class CopyBoard;

// Runs the main dialog modally in a nested Qt event loop: builds the window from the template,
// attaches and initialises the core's dialog, and routes WM_DESTROY while every widget still
// exists once the loop ends. UI thread only.
class QtDialogHost : public DialogHost {
  public:
    // `channels` lets the dialog show the copies its workers run; null shows none.
    QtDialogHost(Language language, std::shared_ptr<CopyChannels> channels);
    ~QtDialogHost() override;
    std::intptr_t RunModal(CCopyDlg& dialog) override;

    // The dialog while RunModal runs, else null.
    QtDialog* Current() const { return current_; }
    CopyBoard* Board() const { return board_; }
    // Given to every dialog this host runs (QtDialog::SetTickRunner).
    void SetTickRunner(QtDialog::TickRunner runner) { tickRunner_ = std::move(runner); }

  private:
    QtDialog::TickRunner tickRunner_;
    Language language_;
    std::shared_ptr<CopyChannels> channels_;
    QtDialog* current_ = nullptr;
    CopyBoard* board_ = nullptr;
};

}  // namespace dravolin::qt

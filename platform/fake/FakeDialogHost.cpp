// Kept apart from the other UI fakes: only what runs a whole dialog needs CCopyDlg linked in.
#include "app/CopyDlg.h"
#include "platform/fake/FakeUi.h"

namespace dravolin::fake {

FakeDialogHost::FakeDialogHost(FakeDialogWindow& window, CallLog* log)
    : window_(window), log_(log) {}

std::intptr_t FakeDialogHost::RunModal(CCopyDlg& dialog) {
    log_->Add("DoModal");
    dialog.Attach(window_);
    dialog.OnInitDialog();
    if (whileOpen) whileOpen(dialog);
    std::intptr_t result = 0;
    dialog.OnWndMsg(win::kWmDestroy, 0, 0, &result);
    log_->Add("EndDialog");
    return win::kIdCancel;
}

}  // namespace dravolin::fake

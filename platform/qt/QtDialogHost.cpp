#include "platform/qt/QtDialogHost.h"

#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "platform/qt/copy/CopyBoard.h"
#include "platform/qt/QtDialog.h"

namespace dravolin::qt {

QtDialogHost::QtDialogHost(Language language, std::shared_ptr<CopyChannels> channels)
    : language_(language), channels_(std::move(channels)) {}

QtDialogHost::~QtDialogHost() = default;

std::intptr_t QtDialogHost::RunModal(CCopyDlg& dialog) {
    QtDialog window(dialog, TextsOf(language_));
    window.SetTickRunner(tickRunner_);
    // Declared after the window, so it goes first: its copy windows are the window's children.
    CopyBoard board(window, language_, channels_);
    current_ = &window;
    board_ = &board;

    dialog.Attach(window);
    if (dialog.OnInitDialog()) {
        if (QPushButton* first = window.Button(IDC_BROWSE)) first->setFocus();
    }
    const int code = window.exec();
    window.Destroy();

    board_ = nullptr;
    current_ = nullptr;
    return code == QDialog::Accepted ? win::kIdOk : win::kIdCancel;
}

}  // namespace dravolin::qt

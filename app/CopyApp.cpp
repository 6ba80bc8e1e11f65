#include "app/CopyApp.h"

#include <optional>

namespace dravolin {

bool CCopyApp::InitInstance() {
    // Failures of the first two are ignored: the dialog runs regardless.
    m_platform.workers.com->Initialize();
    m_platform.desktop.InitCommonControls();
    CWinApp::InitInstance();

    // The dialog is destroyed after the component library is uninitialised, as a stack object
    // of the framework would be at the end of InitInstance.
    std::optional<CCopyDlg> dialog;
    dialog.emplace(m_platform, m_archive);
    m_pMainWnd = &*dialog;
    dialog->DoModal();
    m_platform.workers.com->Uninitialize();
    m_pMainWnd = nullptr;
    dialog.reset();
    return false;
}

}  // namespace dravolin

#include "shell/AutoPlay.h"

#include "app/CopyDlg.h"

namespace dravolin {

// The results are not examined: without the value the message answer alone still works, and a
// value left behind by a killed run is simply written again.
void ArmAutoPlaySuppression(CCopyDlg& dialog) {
    Platform& services = dialog.Services();
    dialog.m_nQueryCancelAutoPlay = services.desktop.RegisterWindowMessage(kQueryCancelAutoPlay);
    services.registry.SetValue(win::RootKey::LocalMachine, kCancelAutoplayKey, kCancelAutoplayValue,
                               win::kRegSz, std::string());
}

void DisarmAutoPlaySuppression(CCopyDlg& dialog) {
    dialog.Services().registry.DeleteValue(win::RootKey::LocalMachine, kCancelAutoplayKey,
                                           kCancelAutoplayValue);
}

bool AnswerAutoPlayQuery(CCopyDlg& dialog, std::uint32_t message, std::intptr_t* result) {
    // 0 means "not registered (yet)"; matching it would swallow WM_NULL.
    if (dialog.m_nQueryCancelAutoPlay == 0 || message != dialog.m_nQueryCancelAutoPlay) {
        return false;
    }
    dialog.Window().SetMsgResult(1);
    *result = 1;
    return true;
}

}  // namespace dravolin

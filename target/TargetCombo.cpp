// The target combo box as the dialog and the copy cycle use it: set-up, taking the current
// target, and the last save at teardown.
#include "app/CopyDlg.h"
#include "target/DestinationHistory.h"
#include "target/NormalizeDestination.h"

namespace dravolin {

// UI thread only. With `prepare` the shell may prompt in a nested loop, through which a further
// poll can call this again; nothing is held across that call.
bool ApplyDestination(CCopyDlg& dialog, std::string& outPath, bool prepare) {
    if (!dialog.m_wndTarget) return false;
    outPath = dialog.m_wndTarget->GetWindowText();
    // A rejected path changes nothing but `outPath`.
    if (!NormalizeDestination(outPath, dialog, prepare)) return false;
    AddToHistory(dialog, outPath, 0);
    // Selecting the new entry 0 shows the normalised text in place of what was typed.
    dialog.m_wndTarget->SetCurSel(0);
    RefreshHistoryIcons(dialog);
    SaveHistory(dialog);
    return true;
}

// UI thread only, at dialog initialisation once the folder image list exists.
void SetUpTargetCombo(CCopyDlg& dialog) {
    if (!dialog.m_wndTarget) return;
    ComboBoxEx& combo = *dialog.m_wndTarget;
    dialog.Services().autoComplete.Enable(combo.GetEditControl(), win::kAutoCompleteFlags);
    combo.SetImageList(dialog.m_imgFolders.get());
    LoadHistory(dialog);
    RefreshHistoryIcons(dialog);
}

// UI thread only, at teardown. Never creates a folder: the program is closing.
void CloseHistory(CCopyDlg& dialog) {
    if (!dialog.m_wndTarget) return;
    std::string text = dialog.m_wndTarget->GetWindowText();
    if (NormalizeDestination(text, dialog, false)) AddToHistory(dialog, text, 0);
    SaveHistory(dialog);
}

}  // namespace dravolin

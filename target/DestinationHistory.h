#pragma once
#include <string>

namespace dravolin {

class CCopyDlg;

// The history of target folders lives in the dialog's combo box and, between runs, in the
// per-user registry. All of these run on the UI thread.
inline constexpr int kHistoryCapacity = 20;
inline constexpr const char* kHistoryKey = "Software\\Dravolin";

void AddToHistory(CCopyDlg& dialog, const std::string& text, int position);
void LoadHistory(CCopyDlg& dialog);
void SaveHistory(CCopyDlg& dialog);
void RefreshHistoryIcons(CCopyDlg& dialog);
bool ApplyDestination(CCopyDlg& dialog, std::string& outPath, bool prepare);
// Dialog set-up: auto-completion, image list, history and its icons.
void SetUpTargetCombo(CCopyDlg& dialog);
// Dialog teardown: the current text joins the history if valid, then the history is saved.
void CloseHistory(CCopyDlg& dialog);

}  // namespace dravolin

// The Browse and ">" buttons beside the target combo box.
#include <optional>
#include <string>
#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "target/DestinationHistory.h"

namespace dravolin {

// UI thread only. The browser runs a nested loop in which timer ticks keep arriving, so the
// copy cycle may use the combo box while it is open.
void CCopyDlg::OnBrowse() {
    FolderPicker::Request request;
    request.owner = Window().GetHandle();
    request.rootCsidl = win::kCsidlDrives;
    request.title = Services().resources.LoadString(IDS_BROWSE_TITLE);
    request.flags = win::kBrowseFlags;
    const std::optional<std::string> chosen = Services().folderPicker.Browse(request);
    if (!chosen || chosen->empty() || !m_wndTarget) return;
    m_wndTarget->SetWindowText(*chosen);
    // Only normalised and remembered here; the folder is prepared when a disc is copied into
    // it. A rejected choice stays in the edit field as chosen.
    std::string destination;
    ApplyDestination(*this, destination, false);
}

// UI thread only. The text goes to the shell as it stands: it may name a file, and blanks are
// the shell's to judge.
void CCopyDlg::OnOpenTarget() {
    if (!m_wndTarget) return;
    Services().shellOpen.Open(Window().GetHandle(), m_wndTarget->GetWindowText(),
                              win::kSwShowNormal);
}

}  // namespace dravolin

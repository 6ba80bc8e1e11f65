#include "app/CopyDlg.h"
#include "engine/DriveList.h"

namespace dravolin {

// UI thread only. Every row offers the menu, whatever its tick or copy state: the menu is built
// from the drive letter alone, and a poll running inside its loop does not affect it.
void CCopyDlg::ShowDriveContextMenu(const NotifyHeader*, std::intptr_t* result) {
    const Point cursor = m_platform.desktop.GetCursorPos();
    const int row = m_wndDrives->HitTest(m_wndDrives->ScreenToClient(cursor));
    if (row != -1) {
        const std::string root = DrivePath(kShellRootPattern, EntryOf(*this, row).letter);
        m_platform.contextMenu.Show(m_window->GetHandle(), root, m_window->ScreenToClient(cursor));
    }
    *result = 0;
}

}  // namespace dravolin

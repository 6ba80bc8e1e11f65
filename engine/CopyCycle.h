#pragma once

namespace dravolin {

class CCopyDlg;

// One pass of the copy cycle over every row. UI thread only; may run nested inside another
// pass that is suspended in a prompt of the folder preparation.
void PollDrives(CCopyDlg& dialog);
// The manual eject/load of a double-click on the drive list. UI thread only.
void EjectOrLoadAtCursor(CCopyDlg& dialog);

}  // namespace dravolin

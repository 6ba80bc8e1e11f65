#pragma once
#include "engine/DriveEntry.h"

namespace dravolin {

class CCopyDlg;
class ListView;

// One-time set-up of the drive list and enumeration of the CD drives. UI thread only.
void InitDriveList(CCopyDlg& dialog);
// Refreshes a row's label and icon when the disc changed, its state and status text when the
// state changed, then repaints the dialog. UI thread only.
void UpdateDriveRow(CCopyDlg& dialog, int row, DriveState newState);
DriveEntry& EntryOf(const CCopyDlg& dialog, int row);
// The row's check box, kept as its state image: 1 unticked, 2 ticked.
bool IsChecked(const ListView& list, int row);
void SetChecked(ListView& list, int row, bool checked);

}  // namespace dravolin

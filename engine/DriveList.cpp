#include "engine/DriveList.h"
#include <memory>
#include <string>
#include <utility>
#include "app/CopyDlg.h"
#include "app/Resource.h"

namespace dravolin {

namespace {

constexpr int kDriveColumnWidth = 180;
// The drive column plus the two pixels of the grid between the columns.
constexpr int kStatusColumnInset = 182;
constexpr std::uint32_t kDriveListStyles =
    win::kLvsExCheckboxes | win::kLvsExFullRowSelect | win::kLvsExLabelTip;

// Puts the row's icon at image `row` (appending when the list is shorter) and returns the
// image index the row shows; -1 when there is no image.
int StoreRowIcon(ImageList* images, int row, IconPtr icon) {
    if (!icon || !images) return -1;
    const int index = row < images->GetImageCount() ? row : -1;
    // The image list keeps its own copy; `icon` is released when it leaves this scope.
    return images->ReplaceIcon(index, *icon);
}

// Adds the record of one CD drive and its row. Records and rows stay index-aligned: a row that
// cannot be inserted takes its record with it.
void AddDriveRow(CCopyDlg& dialog, char letter) {
    auto entry = std::make_shared<DriveEntry>();
    entry->letter = letter;
    entry->state = DriveStateNone;
    entry->serial = 0xFFFFFFFFu;
    entry->owner = dialog.Window().GetHandle();
    entry->archive = dialog.m_archive;

    const int index = static_cast<int>(dialog.m_entries.size());
    dialog.m_entries.push_back(entry);
    const int row = dialog.m_wndDrives->InsertItem(index, entry.get());
    if (row < 0) {
        dialog.m_entries.pop_back();
        return;
    }
    dialog.m_rowsInPass.resize(dialog.m_entries.size(), false);
    UpdateDriveRow(dialog, row, Idle);
}

}  // namespace

// UI thread only.
void InitDriveList(CCopyDlg& dialog) {
    ListView& list = *dialog.m_wndDrives;
    Platform& services = dialog.Services();

    list.SetExtendedStyle(list.GetExtendedStyle() | kDriveListStyles);
    const Rect client = list.GetClientRect();
    list.InsertColumn(0, services.resources.LoadString(IDS_COL_DRIVE), kDriveColumnWidth);
    // Room is kept for the scroll bar whether or not one is shown.
    list.InsertColumn(
        1, services.resources.LoadString(IDS_COL_STATUS),
        client.Width() - services.desktop.GetSystemMetrics(win::kSmCxVScroll) - kStatusColumnInset);
    list.SetImageList(dialog.m_imgDrives.get(), win::kLvsilSmall);

    dialog.m_rowsInPass.assign(dialog.m_entries.size(), false);
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (services.volumes.GetDriveType(DrivePath(kDeviceRootPattern, letter)) ==
            win::kDriveCdrom) {
            AddDriveRow(dialog, letter);
        }
    }
}

// UI thread only. The volume serial number is the only sign of a disc change, so the label and
// icon are refreshed when it changes and not otherwise.
void UpdateDriveRow(CCopyDlg& dialog, int row, DriveState newState) {
    DriveEntry& entry = EntryOf(dialog, row);
    Platform& services = dialog.Services();
    ListView& list = *dialog.m_wndDrives;

    const Volumes::Info volume = services.volumes.GetVolumeInformation(
        DrivePath(kDeviceRootPattern, entry.letter), win::kMaxPath);
    const std::uint32_t serial = volume.ok ? volume.serial : 0;

    if (serial != entry.serial) {
        entry.serial = serial;
        entry.label = volume.ok ? volume.label : std::string();
        ShellInfo::FileInfo shell = services.shellInfo.GetFileInfo(
            DrivePath(kShellRootPattern, entry.letter), 0, win::kDriveInfoFlags);
        IconPtr icon = std::move(shell.icon);
        if (!icon) icon = services.resources.LoadIcon(IDI_DRIVE);
        const int image = StoreRowIcon(dialog.m_imgDrives.get(), row, std::move(icon));

        std::string text;
        if (volume.ok) {
            text = volume.label + " (" + entry.letter + ":)";
        } else {
            text = shell.displayName;
        }
        list.SetItemTextAndImage(row, text, image);
    }

    if (newState != entry.state) {
        entry.state = newState;
        list.SetItemText(
            row, 1,
            services.resources.LoadString(IDS_STATE_IDLE + static_cast<std::uint32_t>(newState)));
    }

    dialog.Window().UpdateWindow();
}

DriveEntry& EntryOf(const CCopyDlg& dialog, int row) {
    return *dialog.m_wndDrives->GetItemParam(row);
}

bool IsChecked(const ListView& list, int row) {
    const std::uint32_t image = (list.GetItemState(row, win::kLvisStateImageMask) & 0xF000u) >> 12;
    return image - 1 != 0;
}

void SetChecked(ListView& list, int row, bool checked) {
    list.SetItemState(row, win::IndexToStateImageMask(checked ? 2 : 1), win::kLvisStateImageMask);
}

}  // namespace dravolin

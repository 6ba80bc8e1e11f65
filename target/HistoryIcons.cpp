// The small shell icons of the history's entries.
#include <string>
#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "target/DestinationHistory.h"

namespace dravolin {

// UI thread only. Asks the shell afresh for every entry: folders appear, vanish and change
// their overlays between refreshes.
void RefreshHistoryIcons(CCopyDlg& dialog) {
    if (!dialog.m_wndTarget) return;
    ComboBoxEx& combo = *dialog.m_wndTarget;
    ImageList* images = dialog.m_imgFolders.get();
    Platform& services = dialog.Services();
    // The count is read on every pass: the list is the control's, not a copy.
    for (int i = 0; i < combo.GetCount(); ++i) {
        ShellInfo::FileInfo info =
            services.shellInfo.GetFileInfo(combo.GetItemText(i), 0, win::kFolderIconFlags);
        // The shared resource icon stands in for a folder the shell cannot resolve.
        IconPtr fallback;
        const Icon* icon = info.icon.get();
        if (!icon) {
            fallback = services.resources.LoadIcon(IDI_FOLDER);
            icon = fallback.get();
        }
        int image = -1;
        if (icon && images) {
            image = images->ReplaceIcon(images->GetImageCount() > i ? i : -1, *icon);
        }
        // The image list holds its own copy; the shell's icon is ours to destroy.
        info.icon.reset();
        combo.SetItemImages(i, image, image);
    }
    combo.UpdateWindow();
}

}  // namespace dravolin

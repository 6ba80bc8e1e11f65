// The history's list operations and its registry store.
#include "target/DestinationHistory.h"

#include <algorithm>
#include <cstdio>
#include "app/CopyDlg.h"

namespace dravolin {
namespace {

std::string ValueName(int index) {
    char name[32];  // room for any int, though indices stay below 20
    std::snprintf(name, sizeof name, "Destination%02d", index);
    return name;
}

// Deletes entry `index` and the image with the same index. False when the list did not shrink,
// so that callers looping on the count cannot spin on a control that refuses to delete.
bool DeleteEntry(CCopyDlg& dialog, int index) {
    ComboBoxEx& combo = *dialog.m_wndTarget;
    const int before = combo.GetCount();
    combo.DeleteItem(index);
    if (dialog.m_imgFolders) dialog.m_imgFolders->Remove(index);
    return combo.GetCount() < before;
}

}  // namespace

// UI thread only.
void AddToHistory(CCopyDlg& dialog, const std::string& text, int position) {
    if (!dialog.m_wndTarget) return;
    ComboBoxEx& combo = *dialog.m_wndTarget;
    // The cap comes first, so re-adding an entry of a full list leaves one entry fewer.
    while (combo.GetCount() >= kHistoryCapacity) {
        if (!DeleteEntry(dialog, combo.GetCount() - 1)) break;
    }
    for (int found = combo.FindStringExact(0, text); found >= 0;
         found = combo.FindStringExact(0, text)) {
        if (!DeleteEntry(dialog, found)) break;
    }
    // A position past the end appends. It arises while loading a store that holds a text
    // twice: the later copy's index lies past the list the earlier copy's removal shortened.
    // Handed on as it is, the Windows combo box would refuse it, and the entry would be lost
    // at this start and, through the next save, for good.
    const int at = std::min(position, combo.GetCount());
    // No image yet: the next refresh puts the images back in step with the entries.
    combo.InsertItem(at, text);
}

// UI thread only.
void LoadHistory(CCopyDlg& dialog) {
    if (!dialog.m_wndTarget) return;
    Registry& registry = dialog.Services().registry;
    for (int i = 0; i < kHistoryCapacity; ++i) {
        const Registry::Value value =
            registry.GetValue(win::RootKey::CurrentUser, kHistoryKey, ValueName(i), win::kMaxPath);
        if (value.result != win::kErrorSuccess || value.type != win::kRegSz || value.data.empty()) {
            break;
        }
        const std::string text = value.data.substr(0, value.data.find('\0'));
        // An empty text is as unusable as an empty value: loaded, it would be saved back as
        // zero bytes and hide every later value at the next start.
        if (text.empty()) break;
        AddToHistory(dialog, text, i);
    }
    dialog.m_wndTarget->SetCurSel(0);
}

// UI thread only.
void SaveHistory(CCopyDlg& dialog) {
    if (!dialog.m_wndTarget) return;
    ComboBoxEx& combo = *dialog.m_wndTarget;
    Registry& registry = dialog.Services().registry;
    // Values past the count stay: a later load reads them again once the gap is filled.
    const int count = combo.GetCount();
    for (int i = 0; i < count; ++i) {
        // A failed write leaves that value as it was; the others are still written.
        registry.SetValue(win::RootKey::CurrentUser, kHistoryKey, ValueName(i), win::kRegSz,
                          combo.GetItemText(i));
    }
}

}  // namespace dravolin

#pragma once
#include <string>
#include "platform/ImageList.h"
#include "platform/Types.h"

namespace dravolin {

// The editable extended combo box that holds the target folder and its history.
class ComboBoxEx {
  public:
    virtual ~ComboBoxEx() = default;
    virtual int GetCount() const = 0;                      // CB_GETCOUNT
    virtual std::string GetItemText(int index) const = 0;  // CB_GETLBTEXT
    virtual std::string GetWindowText() const = 0;         // the edit field
    virtual void SetWindowText(const std::string& text) = 0;
    virtual bool DeleteItem(int index) = 0;  // CBEM_DELETEITEM
    // Index of an entry equal to `text` as the platform compares folder names, or -1: ignoring
    // letter case on Windows, case-sensitive on Linux. The search starts after `start` and
    // wraps around, so every entry is searched (CB_FINDSTRINGEXACT).
    virtual int FindStringExact(int start, const std::string& text) const = 0;
    // Text-only insertion at `index` (CBEM_INSERTITEMA, CBEIF_TEXT); returns the index or -1.
    // The Windows control refuses an index past the count.
    virtual int InsertItem(int index, const std::string& text) = 0;
    // Image and selected image of an entry (CBEM_SETITEMA, CBEIF_IMAGE | CBEIF_SELECTEDIMAGE).
    virtual bool SetItemImages(int index, int image, int selectedImage) = 0;
    // Selects an entry and puts its text into the edit field; nothing on an empty list.
    virtual int SetCurSel(int index) = 0;
    virtual void SetImageList(ImageList* images) = 0;  // CBEM_SETIMAGELIST
    virtual WindowHandle GetEditControl() const = 0;   // CBEM_GETEDITCONTROL
    virtual void UpdateWindow() = 0;
};

}  // namespace dravolin

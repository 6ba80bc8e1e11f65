#pragma once
#include <QComboBox>
#include "platform/ComboBoxEx.h"

namespace dravolin::qt {

class QtImageList;

// The target folder's editable combo box on a QComboBox. As in the extended combo box, the
// edit field is independent of the entries: inserting or deleting entries never changes the
// text the user typed; only selecting an entry copies its text into the field.
// Its texts are paths as a Linux user writes them: the core's backslashes show as "/", the
// edit field's "~" and relative names are read in the home folder, names are bytes that
// round-trip unchanged whatever their encoding, and the exact search is case-sensitive and
// finds the entry that names the same folder, with or without its last separator.
// UI thread only.
class QtComboBoxEx : public ComboBoxEx {
  public:
    explicit QtComboBoxEx(QComboBox& combo);

    int GetCount() const override { return combo_.count(); }
    std::string GetItemText(int index) const override;
    std::string GetWindowText() const override;
    void SetWindowText(const std::string& text) override;
    bool DeleteItem(int index) override;
    int FindStringExact(int start, const std::string& text) const override;
    int InsertItem(int index, const std::string& text) override;
    bool SetItemImages(int index, int image, int selectedImage) override;
    int SetCurSel(int index) override;
    void SetImageList(ImageList* images) override;
    WindowHandle GetEditControl() const override;
    void UpdateWindow() override;

    QComboBox& Widget() const { return combo_; }

  private:
    // Runs a change of the entries with the edit field's text kept as it was.
    template <typename Change>
    auto KeepingEditText(Change change);

    QComboBox& combo_;
    QtImageList* images_ = nullptr;
};

}  // namespace dravolin::qt

#pragma once
// In-memory list view, extended combo box, image lists and icons with the semantics the
// program relies on. UI thread only, like the real controls.
#include <cstdint>
#include <string>
#include <vector>
#include "platform/ComboBoxEx.h"
#include "platform/Icon.h"
#include "platform/ImageList.h"
#include "platform/ListView.h"
#include "platform/fake/CallLog.h"

namespace dravolin::fake {

// An icon known by name. Destroying a non-shared icon logs "DestroyIcon <name>".
class FakeIcon : public Icon {
  public:
    FakeIcon(std::string name, bool shared, CallLog* log);
    ~FakeIcon() override;
    std::uintptr_t Handle() const override;
    const std::string& Name() const { return name_; }
    bool Shared() const { return shared_; }

  private:
    std::string name_;
    bool shared_;
    CallLog* log_;
};

// Images are kept as the names of the icons they were copied from.
// Log: "ImageList_ReplaceIcon <list name> <index> <icon name>", "ImageList_Remove <list> <index>".
class FakeImageList : public ImageList {
  public:
    FakeImageList(std::string name, int cx, int cy, std::uint32_t flags, int initial, int grow,
                  CallLog* log);
    int GetImageCount() const override;
    int ReplaceIcon(int index, const Icon& icon) override;
    bool Remove(int index) override;

    const std::vector<std::string>& Images() const { return images_; }
    void FailOperations(bool fail) { fail_ = fail; }
    const std::string name;
    const int cx, cy;
    const std::uint32_t flags;
    const int initial, grow;

  private:
    std::vector<std::string> images_;
    bool fail_ = false;
    CallLog* log_;
};

// Rows with a parameter, two column texts, an image and a state image (1 unticked, 2 ticked).
// Rows are 17 pixels high from y = 0 of the client area; a point below the last row, or with
// a negative or out-of-width coordinate, hits nothing. The client area starts at `origin` in
// screen coordinates. Text changes are logged, so that tests can see them in order with the
// other calls: "LVM_SETITEM <row> <image> <text>" (column 0 with its image),
// "LVM_SETITEMTEXT <row> <column> <text>".
class FakeListView : public ListView {
  public:
    struct Row {
        DriveEntry* param = nullptr;
        std::string text;
        std::string status;
        int image = -1;
        std::uint32_t state = 0;
    };
    struct Column {
        std::string title;
        int width = 0;
    };
    explicit FakeListView(CallLog* log);

    std::uint32_t GetExtendedStyle() const override;
    void SetExtendedStyle(std::uint32_t styles) override;
    Rect GetClientRect() const override;
    int InsertColumn(int column, const std::string& title, int width) override;
    void SetImageList(ImageList* images, int which) override;
    int GetItemCount() const override;
    int InsertItem(int row, DriveEntry* param) override;
    DriveEntry* GetItemParam(int row) const override;
    bool SetItemTextAndImage(int row, const std::string& text, int image) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    std::uint32_t GetItemState(int row, std::uint32_t mask) const override;
    bool SetItemState(int row, std::uint32_t state, std::uint32_t mask) override;
    Point ScreenToClient(Point screen) const override;
    int HitTest(Point client) const override;

    // Test side.
    void Tick(int row, bool ticked);  // the user clicks the check box
    bool Ticked(int row) const;
    const std::vector<Row>& Rows() const { return rows_; }
    const std::vector<Column>& Columns() const { return columns_; }
    ImageList* SmallImages() const { return smallImages_; }
    int imageListWhich = 0;
    Rect clientRect{0, 0, 405, 65};
    Point origin{100, 100};
    static constexpr int kRowHeight = 17;
    int textWrites = 0;    // SetItemTextAndImage calls
    int statusWrites = 0;  // SetItemText calls on column 1

  private:
    std::vector<Row> rows_;
    std::vector<Column> columns_;
    std::uint32_t extendedStyle_ = 0;
    ImageList* smallImages_ = nullptr;
    CallLog* log_;
};

// Entries with text and images, and an edit field. Search ignores ASCII letter case, starts
// after `start` and wraps. Insertion past the end appends.
// Log: "CB_INSERTITEM <index> <text>", "CB_DELETEITEM <index>", "CB_SETCURSEL <index>",
//      "CBEM_SETITEM <index> <image> <selected>".
class FakeComboBoxEx : public ComboBoxEx {
  public:
    struct Item {
        std::string text;
        int image = -1;
        int selectedImage = -1;
    };
    explicit FakeComboBoxEx(CallLog* log);

    int GetCount() const override;
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

    // Test side.
    const std::vector<Item>& Items() const { return items_; }
    std::vector<std::string> Texts() const;
    ImageList* Images() const { return images_; }
    int updates = 0;
    static constexpr WindowHandle kEditHandle = 0x2002;

  private:
    std::vector<Item> items_;
    std::string edit_;
    ImageList* images_ = nullptr;
    CallLog* log_;
};

}  // namespace dravolin::fake

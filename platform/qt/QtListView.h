#pragma once
#include <QTreeWidget>
#include <utility>
#include "platform/ListView.h"

namespace dravolin::qt {

class QtImageList;

// The drive list on a QTreeWidget: a flat two-column list whose check boxes stand for the
// list view's state images (1 unticked, 2 ticked). The widget belongs to the dialog; this
// only drives it. UI thread only.
class QtListView : public ListView {
  public:
    explicit QtListView(QTreeWidget& tree);

    std::uint32_t GetExtendedStyle() const override { return extendedStyle_; }
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

    QTreeWidget& Widget() const { return tree_; }
    // Whether a row was written since the last call: what the dialog has to paint.
    bool TakeChanged() { return std::exchange(changed_, false); }

  private:
    QTreeWidgetItem* Item(int row) const;

    QTreeWidget& tree_;
    bool changed_ = false;
    std::uint32_t extendedStyle_ = 0;
    QtImageList* smallImages_ = nullptr;
};

}  // namespace dravolin::qt

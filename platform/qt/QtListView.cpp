#include "platform/qt/QtListView.h"

#include <QHeaderView>
#include <memory>
#include "platform/qt/QtIcon.h"

namespace dravolin::qt {

namespace {
constexpr int kParamRole = Qt::UserRole + 1;
constexpr std::uint32_t kStateImageShift = 12;
}  // namespace

QtListView::QtListView(QTreeWidget& tree) : tree_(tree) {
    tree_.setColumnCount(0);
    tree_.setRootIsDecorated(false);
    tree_.setItemsExpandable(false);
    tree_.setUniformRowHeights(true);
    tree_.setAllColumnsShowFocus(true);
    tree_.setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_.setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_.setTextElideMode(Qt::ElideRight);
    tree_.setIconSize(QSize(16, 16));
    tree_.header()->setStretchLastSection(false);
    tree_.setHeaderHidden(true);
}

void QtListView::SetExtendedStyle(std::uint32_t styles) {
    extendedStyle_ = styles;
    // Full-row selection and label tips are what the widget does anyway; check boxes appear on
    // the rows inserted from now on.
}

Rect QtListView::GetClientRect() const {
    // The frame is subtracted at once; the viewport itself is sized only when the dialog is
    // first shown, after the columns were measured.
    const QRect contents = tree_.contentsRect();
    return {0, 0, contents.width(), contents.height()};
}

int QtListView::InsertColumn(int column, const std::string& title, int width) {
    const int count = tree_.columnCount();
    if (column < 0 || column > count) column = count;
    tree_.setColumnCount(count + 1);
    QTreeWidgetItem* header = tree_.headerItem();
    for (int i = count; i > column; --i) header->setText(i, header->text(i - 1));
    header->setText(column, QString::fromStdString(title));
    tree_.setColumnWidth(column, width);
    return column;
}

void QtListView::SetImageList(ImageList* images, int which) {
    if (which != win::kLvsilSmall) return;
    smallImages_ = dynamic_cast<QtImageList*>(images);
}

int QtListView::GetItemCount() const {
    return tree_.topLevelItemCount();
}

int QtListView::InsertItem(int row, DriveEntry* param) {
    const int count = GetItemCount();
    if (row < 0 || row > count) row = count;
    auto item = std::make_unique<QTreeWidgetItem>();
    item->setData(0, kParamRole, QVariant::fromValue(reinterpret_cast<quintptr>(param)));
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (extendedStyle_ & win::kLvsExCheckboxes) {
        flags |= Qt::ItemIsUserCheckable;
        item->setCheckState(0, Qt::Unchecked);
    }
    item->setFlags(flags);
    tree_.insertTopLevelItem(row, item.release());  // the tree owns its items
    changed_ = true;
    return row;
}

DriveEntry* QtListView::GetItemParam(int row) const {
    QTreeWidgetItem* item = Item(row);
    if (!item) return nullptr;
    return reinterpret_cast<DriveEntry*>(item->data(0, kParamRole).value<quintptr>());
}

bool QtListView::SetItemTextAndImage(int row, const std::string& text, int image) {
    QTreeWidgetItem* item = Item(row);
    if (!item) return false;
    item->setText(0, QString::fromStdString(text));
    item->setToolTip(0, item->text(0));
    item->setIcon(0, smallImages_ ? smallImages_->At(image) : QIcon());
    changed_ = true;
    return true;
}

bool QtListView::SetItemText(int row, int column, const std::string& text) {
    QTreeWidgetItem* item = Item(row);
    if (!item || column < 0 || column >= tree_.columnCount()) return false;
    item->setText(column, QString::fromStdString(text));
    changed_ = true;
    return true;
}

std::uint32_t QtListView::GetItemState(int row, std::uint32_t mask) const {
    QTreeWidgetItem* item = Item(row);
    if (!item) return 0;
    std::uint32_t state = 0;
    if (mask & win::kLvisStateImageMask) {
        if (item->flags() & Qt::ItemIsUserCheckable) {
            const bool ticked = item->checkState(0) == Qt::Checked;
            state |= win::IndexToStateImageMask(ticked ? 2 : 1);
        }
    }
    return state & mask;
}

bool QtListView::SetItemState(int row, std::uint32_t state, std::uint32_t mask) {
    QTreeWidgetItem* item = Item(row);
    if (!item) return false;
    if (mask & win::kLvisStateImageMask) {
        const std::uint32_t image = (state & win::kLvisStateImageMask) >> kStateImageShift;
        if (image != 0) {
            item->setCheckState(0, image == 2 ? Qt::Checked : Qt::Unchecked);
            changed_ = true;
        }
    }
    return true;
}

Point QtListView::ScreenToClient(Point screen) const {
    const QPoint client = tree_.viewport()->mapFromGlobal(QPoint(screen.x, screen.y));
    return {client.x(), client.y()};
}

int QtListView::HitTest(Point client) const {
    const QPoint at(client.x, client.y);
    if (!tree_.viewport()->rect().contains(at)) return -1;
    QTreeWidgetItem* item = tree_.itemAt(at);
    return item ? tree_.indexOfTopLevelItem(item) : -1;
}

QTreeWidgetItem* QtListView::Item(int row) const {
    if (row < 0 || row >= GetItemCount()) return nullptr;
    return tree_.topLevelItem(row);
}

}  // namespace dravolin::qt

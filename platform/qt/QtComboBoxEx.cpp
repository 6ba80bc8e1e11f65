#include "platform/qt/QtComboBoxEx.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include "platform/linux/paths/TargetPaths.h"
#include "platform/qt/PathText.h"
#include "platform/qt/QtIcon.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {

// A text of the core as the control shows it: the core's backslashes are "/" on Linux.
QString Shown(const std::string& text) {
    return TextOfPath(lnx::LinuxPathOf(text, {}));
}

}  // namespace

QtComboBoxEx::QtComboBoxEx(QComboBox& combo) : combo_(combo) {
    combo_.setEditable(true);
    combo_.setInsertPolicy(QComboBox::NoInsert);
    combo_.setDuplicatesEnabled(true);
    combo_.setMaxVisibleItems(20);
    combo_.setIconSize(QSize(16, 16));
    combo_.setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

template <typename Change>
auto QtComboBoxEx::KeepingEditText(Change change) {
    const QString text = combo_.lineEdit()->text();
    auto result = change();
    if (combo_.lineEdit()->text() != text) {
        const QSignalBlocker quiet(combo_.lineEdit());
        combo_.lineEdit()->setText(text);
    }
    return result;
}

std::string QtComboBoxEx::GetItemText(int index) const {
    if (index < 0 || index >= combo_.count()) return {};
    return PathOfText(combo_.itemText(index));
}

std::string QtComboBoxEx::GetWindowText() const {
    return lnx::LinuxPathOf(PathOfText(combo_.lineEdit()->text()), lnx::HomeFolder());
}

void QtComboBoxEx::SetWindowText(const std::string& text) {
    combo_.lineEdit()->setText(Shown(text));
}

bool QtComboBoxEx::DeleteItem(int index) {
    if (index < 0 || index >= combo_.count()) return false;
    return KeepingEditText([&] {
        combo_.removeItem(index);
        return true;
    });
}

int QtComboBoxEx::FindStringExact(int start, const std::string& text) const {
    const int count = combo_.count();
    if (count == 0) return -1;
    const std::string wanted = lnx::LocalPathOf(text);
    if (start < -1 || start >= count) start = -1;
    for (int step = 1; step <= count; ++step) {
        const int index = (start + step) % count;
        if (lnx::LocalPathOf(PathOfText(combo_.itemText(index))) == wanted) return index;
    }
    return -1;
}

int QtComboBoxEx::InsertItem(int index, const std::string& text) {
    const int count = combo_.count();
    const int at = index < 0 || index > count ? count : index;
    return KeepingEditText([&] {
        combo_.insertItem(at, Shown(text));
        return at;
    });
}

bool QtComboBoxEx::SetItemImages(int index, int image, int) {
    if (index < 0 || index >= combo_.count()) return false;
    // Qt draws one icon for an entry, selected or not.
    combo_.setItemIcon(index, images_ ? images_->At(image) : QIcon());
    return true;
}

int QtComboBoxEx::SetCurSel(int index) {
    if (index < 0 || index >= combo_.count()) return -1;
    combo_.setCurrentIndex(index);
    combo_.lineEdit()->setText(combo_.itemText(index));
    return index;
}

void QtComboBoxEx::SetImageList(ImageList* images) {
    images_ = dynamic_cast<QtImageList*>(images);
}

WindowHandle QtComboBoxEx::GetEditControl() const {
    return HandleOf(combo_.lineEdit());
}

void QtComboBoxEx::UpdateWindow() {
    combo_.update();
}

}  // namespace dravolin::qt

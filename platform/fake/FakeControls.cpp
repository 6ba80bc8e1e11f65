#include "platform/fake/FakeControls.h"

#include "platform/fake/Ascii.h"

namespace dravolin::fake {

namespace {

bool InRange(int index, std::size_t count) {
    return index >= 0 && static_cast<std::size_t>(index) < count;
}

}  // namespace

// --- FakeIcon ---

FakeIcon::FakeIcon(std::string name, bool shared, CallLog* log)
    : name_(std::move(name)), shared_(shared), log_(log) {}

FakeIcon::~FakeIcon() {
    if (!shared_ && log_ != nullptr) log_->Add("DestroyIcon " + name_);
}

std::uintptr_t FakeIcon::Handle() const {
    return reinterpret_cast<std::uintptr_t>(this);
}

// --- FakeImageList ---

FakeImageList::FakeImageList(std::string name, int cx, int cy, std::uint32_t flags, int initial,
                             int grow, CallLog* log)
    : name(std::move(name)),
      cx(cx),
      cy(cy),
      flags(flags),
      initial(initial),
      grow(grow),
      log_(log) {}

int FakeImageList::GetImageCount() const {
    return static_cast<int>(images_.size());
}

int FakeImageList::ReplaceIcon(int index, const Icon& icon) {
    const auto* named = dynamic_cast<const FakeIcon*>(&icon);
    const std::string iconName = named != nullptr ? named->Name() : "?";
    log_->Add("ImageList_ReplaceIcon " + name + " " + std::to_string(index) + " " + iconName);
    if (fail_) return -1;
    if (index == -1) {
        images_.push_back(iconName);
        return static_cast<int>(images_.size()) - 1;
    }
    if (!InRange(index, images_.size())) return -1;
    images_[index] = iconName;
    return index;
}

bool FakeImageList::Remove(int index) {
    log_->Add("ImageList_Remove " + name + " " + std::to_string(index));
    if (fail_) return false;
    if (index == -1) {  // ImageList_Remove(-1) empties the list
        images_.clear();
        return true;
    }
    if (!InRange(index, images_.size())) return false;
    images_.erase(images_.begin() + index);
    return true;
}

// --- FakeListView ---

FakeListView::FakeListView(CallLog* log) : log_(log) {}

std::uint32_t FakeListView::GetExtendedStyle() const {
    return extendedStyle_;
}

void FakeListView::SetExtendedStyle(std::uint32_t styles) {
    extendedStyle_ = styles;
}

Rect FakeListView::GetClientRect() const {
    return clientRect;
}

int FakeListView::InsertColumn(int column, const std::string& title, int width) {
    if (!InRange(column, columns_.size())) column = static_cast<int>(columns_.size());
    columns_.insert(columns_.begin() + column, Column{title, width});
    return column;
}

void FakeListView::SetImageList(ImageList* images, int which) {
    imageListWhich = which;
    if (which == win::kLvsilSmall) smallImages_ = images;
}

int FakeListView::GetItemCount() const {
    return static_cast<int>(rows_.size());
}

int FakeListView::InsertItem(int row, DriveEntry* param) {
    if (!InRange(row, rows_.size() + 1)) row = static_cast<int>(rows_.size());
    Row inserted;
    inserted.param = param;
    // The check-box style gives every new item the unticked state image.
    if ((extendedStyle_ & win::kLvsExCheckboxes) != 0) {
        inserted.state = win::IndexToStateImageMask(1);
    }
    rows_.insert(rows_.begin() + row, inserted);
    return row;
}

DriveEntry* FakeListView::GetItemParam(int row) const {
    return InRange(row, rows_.size()) ? rows_[row].param : nullptr;
}

bool FakeListView::SetItemTextAndImage(int row, const std::string& text, int image) {
    ++textWrites;
    log_->Add("LVM_SETITEM " + std::to_string(row) + " " + std::to_string(image) + " " + text);
    if (!InRange(row, rows_.size())) return false;
    rows_[row].text = text;
    rows_[row].image = image;
    return true;
}

bool FakeListView::SetItemText(int row, int column, const std::string& text) {
    if (column == 0) ++textWrites;
    if (column == 1) ++statusWrites;
    log_->Add("LVM_SETITEMTEXT " + std::to_string(row) + " " + std::to_string(column) + " " + text);
    if (!InRange(row, rows_.size()) || column < 0 || column > 1) return false;
    (column == 0 ? rows_[row].text : rows_[row].status) = text;
    return true;
}

std::uint32_t FakeListView::GetItemState(int row, std::uint32_t mask) const {
    return InRange(row, rows_.size()) ? rows_[row].state & mask : 0;
}

bool FakeListView::SetItemState(int row, std::uint32_t state, std::uint32_t mask) {
    auto apply = [&](Row& r) { r.state = (r.state & ~mask) | (state & mask); };
    if (row == -1) {  // LVM_SETITEMSTATE with -1 applies to every row
        for (Row& r : rows_) apply(r);
        return true;
    }
    if (!InRange(row, rows_.size())) return false;
    apply(rows_[row]);
    return true;
}

Point FakeListView::ScreenToClient(Point screen) const {
    return Point{screen.x - origin.x, screen.y - origin.y};
}

int FakeListView::HitTest(Point client) const {
    if (client.x < 0 || client.x >= clientRect.Width() || client.y < 0) return -1;
    const int row = client.y / kRowHeight;
    return row < GetItemCount() ? row : -1;
}

void FakeListView::Tick(int row, bool ticked) {
    SetItemState(row, win::IndexToStateImageMask(ticked ? 2 : 1), win::kLvisStateImageMask);
}

bool FakeListView::Ticked(int row) const {
    return GetItemState(row, win::kLvisStateImageMask) == win::IndexToStateImageMask(2);
}

// --- FakeComboBoxEx ---

FakeComboBoxEx::FakeComboBoxEx(CallLog* log) : log_(log) {}

int FakeComboBoxEx::GetCount() const {
    return static_cast<int>(items_.size());
}

std::string FakeComboBoxEx::GetItemText(int index) const {
    return InRange(index, items_.size()) ? items_[index].text : std::string();
}

std::string FakeComboBoxEx::GetWindowText() const {
    return edit_;
}

void FakeComboBoxEx::SetWindowText(const std::string& text) {
    edit_ = text;
}

bool FakeComboBoxEx::DeleteItem(int index) {
    log_->Add("CB_DELETEITEM " + std::to_string(index));
    if (!InRange(index, items_.size())) return false;
    items_.erase(items_.begin() + index);
    return true;
}

int FakeComboBoxEx::FindStringExact(int start, const std::string& text) const {
    const int count = GetCount();
    const int first = InRange(start, items_.size()) ? start + 1 : 0;
    for (int k = 0; k < count; ++k) {
        const int index = (first + k) % count;
        if (EqualIgnoringAsciiCase(items_[index].text, text)) return index;
    }
    return -1;
}

int FakeComboBoxEx::InsertItem(int index, const std::string& text) {
    log_->Add("CB_INSERTITEM " + std::to_string(index) + " " + text);
    if (!InRange(index, items_.size() + 1)) index = GetCount();
    items_.insert(items_.begin() + index, Item{text});
    return index;
}

bool FakeComboBoxEx::SetItemImages(int index, int image, int selectedImage) {
    log_->Add("CBEM_SETITEM " + std::to_string(index) + " " + std::to_string(image) + " " +
              std::to_string(selectedImage));
    if (!InRange(index, items_.size())) return false;
    items_[index].image = image;
    items_[index].selectedImage = selectedImage;
    return true;
}

int FakeComboBoxEx::SetCurSel(int index) {
    log_->Add("CB_SETCURSEL " + std::to_string(index));
    if (items_.empty()) return -1;
    if (index == -1) {  // clears the selection and the edit field
        edit_.clear();
        return -1;
    }
    if (!InRange(index, items_.size())) return -1;
    edit_ = items_[index].text;
    return index;
}

void FakeComboBoxEx::SetImageList(ImageList* images) {
    images_ = images;
}

WindowHandle FakeComboBoxEx::GetEditControl() const {
    return kEditHandle;
}

void FakeComboBoxEx::UpdateWindow() {
    ++updates;
}

std::vector<std::string> FakeComboBoxEx::Texts() const {
    std::vector<std::string> texts;
    for (const auto& item : items_) texts.push_back(item.text);
    return texts;
}

}  // namespace dravolin::fake

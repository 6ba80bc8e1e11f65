#include "platform/qt/QtIcon.h"

namespace dravolin::qt {

QIcon ToQIcon(const Icon& icon) {
    const auto* qtIcon = dynamic_cast<const QtIcon*>(&icon);
    return qtIcon ? qtIcon->Get() : QIcon();
}

int QtImageList::ReplaceIcon(int index, const Icon& icon) {
    QIcon image = ToQIcon(icon);
    if (image.isNull()) return -1;
    if (index == -1) {
        icons_.push_back(std::move(image));
        return static_cast<int>(icons_.size()) - 1;
    }
    if (index < 0 || index >= GetImageCount()) return -1;
    icons_[static_cast<std::size_t>(index)] = std::move(image);
    return index;
}

bool QtImageList::Remove(int index) {
    if (index == -1) {
        icons_.clear();
        return true;
    }
    if (index < 0 || index >= GetImageCount()) return false;
    icons_.erase(icons_.begin() + index);
    return true;
}

QIcon QtImageList::At(int index) const {
    if (index < 0 || index >= GetImageCount()) return {};
    return icons_[static_cast<std::size_t>(index)];
}

}  // namespace dravolin::qt

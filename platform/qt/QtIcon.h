#pragma once
#include <QIcon>
#include <vector>
#include "platform/Icon.h"
#include "platform/ImageList.h"

namespace dravolin::qt {

// An icon as Qt holds it: a QIcon is shared and reference-counted, so releasing the owner
// releases nothing another holder still uses.
class QtIcon : public Icon {
  public:
    explicit QtIcon(QIcon icon) : icon_(std::move(icon)) {}
    std::uintptr_t Handle() const override { return static_cast<std::uintptr_t>(icon_.cacheKey()); }
    const QIcon& Get() const { return icon_; }

  private:
    QIcon icon_;
};

// The QIcon behind a platform icon; a null QIcon for an icon that is not Qt's.
QIcon ToQIcon(const Icon& icon);

// Small icons addressed by index. UI thread only.
class QtImageList : public ImageList {
  public:
    QtImageList(int cx, int cy) : cx_(cx), cy_(cy) {}
    int GetImageCount() const override { return static_cast<int>(icons_.size()); }
    int ReplaceIcon(int index, const Icon& icon) override;
    bool Remove(int index) override;

    // The image at `index`; a null QIcon for -1 or an index out of range.
    QIcon At(int index) const;
    QSize IconSize() const { return {cx_, cy_}; }

  private:
    int cx_;
    int cy_;
    std::vector<QIcon> icons_;
};

}  // namespace dravolin::qt

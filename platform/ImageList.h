#pragma once
#include <cstdint>
#include "platform/Icon.h"

namespace dravolin {

// An image list of small icons (ImageList_*). Images are addressed by index.
class ImageList {
  public:
    virtual ~ImageList() = default;
    virtual int GetImageCount() const = 0;
    // Replaces image `index` with a copy of `icon`, or appends it when `index` is -1.
    // Returns the image's index, or -1 on failure. The caller keeps and releases `icon`.
    virtual int ReplaceIcon(int index, const Icon& icon) = 0;
    virtual bool Remove(int index) = 0;
};

}  // namespace dravolin

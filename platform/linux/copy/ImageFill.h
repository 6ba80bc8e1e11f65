#pragma once
#include <cstdint>
#include <vector>
#include "archive/BagRecord.h"
#include "archive/UnreadFill.h"

namespace dravolin::lnx {

// The unread sectors of a disc's image while its files are taken out of it through a loop
// device: they hold the run's fill (archive/UnreadFill.h), so that the copy can tell them from
// the disc's bytes, and zeros again afterwards. One copy at a time uses it.
class ImageFill {
  public:
    // `image` stays the caller's, open for writing; `unread` are byte ranges of the image, each
    // on whole sectors.
    ImageFill(int image, std::vector<archive::ByteRange> unread, std::uint64_t seed)
        : image_(image), unread_(std::move(unread)), fill_(seed) {}

    archive::UnreadFill& Fill() { return fill_; }
    // Writes the fill into every unread sector. 0 or the errno of the write that failed.
    int Write();
    // The other fill, written: false when it could not be.
    bool Switch();
    // Zeros where the fill was, as the image is to keep them. 0 or an errno.
    int Clear();

  private:
    int WriteEach(const char* sector);

    int image_;
    std::vector<archive::ByteRange> unread_;
    archive::UnreadFill fill_;
};

}  // namespace dravolin::lnx

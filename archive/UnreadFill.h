#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>
#include "archive/BagRecord.h"
#include "archive/Recovery.h"

namespace dravolin::archive {

// How a file taken out of a disc's image through a file system that does not say where the
// file lies (the kernel's, through a loop device) still tells which of its bytes the disc could
// not give. While the files are taken out, each unread sector of the image holds a fill that no
// disc holds by chance: 2048 random bytes of this run. A file's data start on a sector, so each
// of its sectors either is the fill, whole, or the disc's.
//
// Only a file's last sector may be shorter. Down to kFillSure bytes the fill's start is as
// sure; below that, real data may begin like the fill. Such a sector is read again after the
// image was given the other fill (the first one's complement): data cannot begin like both.
inline constexpr std::size_t kFillSure = 32;

class UnreadFill {
  public:
    explicit UnreadFill(std::uint64_t seed);

    // What the image's unread sectors hold now.
    std::span<const char> Sector() const { return fills_[current_]; }
    // The image now holds the other fill.
    void Switch() { current_ ^= 1; }

    enum class Seen { Data, Fill, Doubtful };
    // One sector of a file, from its start (shorter only at the file's end). A sector that
    // holds either fill (a file's pages may have been read before a switch) is Fill; one too
    // short to tell that begins like the current fill is Doubtful.
    Seen Look(std::span<const char> sector) const;

  private:
    std::array<std::vector<char>, 2> fills_;
    int current_ = 0;
};

// Reads the sector of the file at `at` again, into `out`, once the image holds the other fill
// (the caller switches it): false when that could not be done, and the sector counts as data.
using ReadAgain = std::function<bool(std::uint64_t at, std::span<char> out)>;

// The fill in `bytes`, the file's bytes from `pos` (on a sector's start) to a sector's end or
// the file's: each sector of it is made zeros, as the image will hold, and added to `damaged`
// (kept in order, neighbours joined).
void ScrubFill(UnreadFill& fill, std::span<char> bytes, std::uint64_t pos,
               std::vector<ByteRange>& damaged, const ReadAgain& again);

// Joins two ordered lists of damaged ranges into one.
std::vector<ByteRange> MergeDamage(const std::vector<ByteRange>& a,
                                   const std::vector<ByteRange>& b);

}  // namespace dravolin::archive

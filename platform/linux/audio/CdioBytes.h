#pragma once
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>
#include "platform/linux/audio/CdioDisc.h"
#include "platform/linux/drives/VolumeReader.h"

namespace dravolin::lnx {

// A disc's data at byte offsets, as the volume readers ask for it, through libcdio's sectors:
// so a disc image's file system is told as a drive's is.
class CdioBytes : public DiscBytes {
  public:
    explicit CdioBytes(CdioDisc& disc) : sectors_(disc) {}
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        constexpr std::uint64_t kBytes = 2048;
        const std::uint64_t first = offset / kBytes;
        const std::uint64_t last = (offset + out.size() + kBytes - 1) / kBytes;
        if (out.empty()) return true;
        std::vector<std::byte> block((last - first) * kBytes);
        if (!sectors_.Read(first, static_cast<std::uint32_t>(last - first), block)) return false;
        const auto* from = reinterpret_cast<const std::uint8_t*>(block.data()) + offset % kBytes;
        std::copy(from, from + out.size(), out.begin());
        return true;
    }

  private:
    CdioSectors sectors_;
};

}  // namespace dravolin::lnx

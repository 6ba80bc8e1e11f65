#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>
#include "archive/BagRecord.h"

namespace dravolin::archive {

// How an archive copy steps past what a disc cannot read. A read that fails is tried once
// more; a region that still fails is read in steps, and a step that fails twice is written as
// zeros, recorded as damaged, and skipped.
//
// A step is at least 32 KiB and ends on a 2048-byte sector: 16 sectors, what tools of the
// field skip after an error. A drive's firmware already retries each sector; more tries cost
// minutes.
inline constexpr std::uint64_t kRecoveryStep = 32u << 10;
inline constexpr std::uint64_t kSector = 2048;

// Where a step from `pos` ends: at least kRecoveryStep on, on a sector's end, not past `size`.
constexpr std::uint64_t StepEnd(std::uint64_t pos, std::uint64_t size) {
    const std::uint64_t end = (pos + kRecoveryStep + kSector - 1) / kSector * kSector;
    return std::min(end, size);
}

// Notes [begin, end) as damaged, joined to the last range when they meet.
inline void AddDamage(std::vector<ByteRange>& damaged, std::uint64_t begin, std::uint64_t end) {
    if (!damaged.empty() && damaged.back().end == begin) {
        damaged.back().end = end;
    } else {
        damaged.push_back(ByteRange{begin, end});
    }
}

}  // namespace dravolin::archive

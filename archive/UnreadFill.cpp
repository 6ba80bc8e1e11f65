#include "archive/UnreadFill.h"

#include <algorithm>
#include <random>

namespace dravolin::archive {

UnreadFill::UnreadFill(std::uint64_t seed) {
    std::mt19937_64 random(seed);
    fills_[0].resize(kSector);
    fills_[1].resize(kSector);
    for (std::size_t at = 0; at < kSector; ++at) {
        const auto byte = static_cast<unsigned char>(random());
        fills_[0][at] = static_cast<char>(byte);
        fills_[1][at] = static_cast<char>(~byte);
    }
}

UnreadFill::Seen UnreadFill::Look(std::span<const char> sector) const {
    const auto begins = [&](const std::vector<char>& fill) {
        return std::equal(sector.begin(), sector.end(), fill.begin());
    };
    if (sector.empty()) return Seen::Data;
    if (sector.size() < kFillSure) return begins(fills_[current_]) ? Seen::Doubtful : Seen::Data;
    return begins(fills_[0]) || begins(fills_[1]) ? Seen::Fill : Seen::Data;
}

void ScrubFill(UnreadFill& fill, std::span<char> bytes, std::uint64_t pos,
               std::vector<ByteRange>& damaged, const ReadAgain& again) {
    for (std::size_t at = 0; at < bytes.size(); at += kSector) {
        const std::span<char> sector =
            bytes.subspan(at, std::min<std::size_t>(kSector, bytes.size() - at));
        UnreadFill::Seen seen = fill.Look(sector);
        if (seen == UnreadFill::Seen::Doubtful) {
            seen = again && again(pos + at, sector) ? fill.Look(sector) : UnreadFill::Seen::Data;
        }
        if (seen == UnreadFill::Seen::Data) continue;
        std::fill(sector.begin(), sector.end(), '\0');
        AddDamage(damaged, pos + at, pos + at + sector.size());
    }
}

std::vector<ByteRange> MergeDamage(const std::vector<ByteRange>& a,
                                   const std::vector<ByteRange>& b) {
    std::vector<ByteRange> all(a);
    all.insert(all.end(), b.begin(), b.end());
    std::sort(all.begin(), all.end(),
              [](const ByteRange& x, const ByteRange& y) { return x.begin < y.begin; });
    std::vector<ByteRange> merged;
    for (const ByteRange& range : all) {
        if (!merged.empty() && range.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, range.end);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

}  // namespace dravolin::archive

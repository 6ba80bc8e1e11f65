#include "platform/linux/audio/RipDamage.h"

#include <cdio/paranoia/paranoia.h>
#include <algorithm>

namespace dravolin::lnx {

namespace {

constexpr long long kRipDamageWordsPerSector = CD_FRAMEWORDS;

}  // namespace

std::optional<archive::SampleRange> DamageOfParanoiaEvent(long position, int event,
                                                          std::uint32_t start,
                                                          std::uint32_t sectors) {
    // With verification on, samples that a read missed are marked unmatchable and never verify:
    // they reach the caller only when paranoia gives up on matching re-reads and skips ahead,
    // grafting what one read returned, or silence. A read error alone (PARANOIA_CB_READERR)
    // is followed by re-reads that may well verify; the fix-ups of dropped and duplicated
    // bytes repair jitter. So the skip alone says that samples were not read exactly.
    if (event != PARANOIA_CB_SKIP || position < 0) return std::nullopt;
    // It names where the verified samples end. Where no read has what follows, paranoia fills
    // CDIO_CD_FRAMESIZE_RAW words of silence (two sectors): those, and every sector they touch,
    // count as damaged. A graft of unverified samples may run further, which the callback does
    // not tell.
    const long long first = position / kRipDamageWordsPerSector;
    const long long last = (position + CDIO_CD_FRAMESIZE_RAW - 1) / kRipDamageWordsPerSector;
    const long long begin = std::max<long long>(first, start);
    const long long end = std::min<long long>(last + 1, std::int64_t{start} + sectors);
    if (begin >= end) return std::nullopt;
    return archive::SampleRange{
        static_cast<std::uint64_t>(begin - start) * archive::kSamplesPerSector,
        static_cast<std::uint64_t>(end - start) * archive::kSamplesPerSector};
}

void AddDamage(std::vector<archive::SampleRange>& ranges, archive::SampleRange range) {
    if (range.begin >= range.end) return;
    auto first = std::lower_bound(
        ranges.begin(), ranges.end(), range.begin,
        [](const archive::SampleRange& held, std::uint64_t begin) { return held.end < begin; });
    auto last = first;
    while (last != ranges.end() && last->begin <= range.end) {
        range.begin = std::min(range.begin, last->begin);
        range.end = std::max(range.end, last->end);
        ++last;
    }
    ranges.insert(ranges.erase(first, last), range);
}

void KeepDamageBefore(std::vector<archive::SampleRange>& ranges, std::uint64_t end) {
    std::erase_if(ranges, [end](const archive::SampleRange& range) { return range.begin >= end; });
    if (!ranges.empty()) ranges.back().end = std::min(ranges.back().end, end);
}

}  // namespace dravolin::lnx

#pragma once
#include <cstdint>
#include <optional>
#include <vector>
#include "archive/AudioDisc.h"

namespace dravolin::lnx {

// What libcdio-paranoia's callback reports while it reads one track, as the samples of the
// track that did not come off the disc verified. The track starts at sector `start` and runs
// `sectors` sectors.

// `event` is the callback's paranoia_cb_mode_t and `position` the place it names, in 16-bit
// words from the disc's sector 0 (two a stereo sample, 1176 a sector). Nullopt for an event that
// leaves the samples as the disc holds them, and for one outside the track.
std::optional<archive::SampleRange> DamageOfParanoiaEvent(long position, int event,
                                                          std::uint32_t start,
                                                          std::uint32_t sectors);

// Adds `range` to `ranges` (in order, none touching another), joined with those it overlaps or
// touches.
void AddDamage(std::vector<archive::SampleRange>& ranges, archive::SampleRange range);

// Cuts `ranges` at `end`: what paranoia reported of the samples past it, read ahead, was never
// written.
void KeepDamageBefore(std::vector<archive::SampleRange>& ranges, std::uint64_t end);

}  // namespace dravolin::lnx

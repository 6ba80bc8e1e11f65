#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include "archive/RescueMap.h"
#include "archive/Recovery.h"

namespace dravolin::archive {

// A disc read once, front to back, into its image, with the bounded patience of rescue tools:
// large requests first, skipping ahead (further after each error in a row) past what fails;
// then the skipped areas; then each failed request trimmed from both edges, sector by sector;
// then the sectors between read one by one. A good sector is read a second time only when it
// shared a failed request; a bad one at most three times (in its request, trimmed, scraped),
// each time after the drive's own retries.
// The map says at every moment what the image holds, so the read can stop anywhere (its time
// budget, a person) and another read carry on from the map.

// The disc's sectors. Read fills `out` (count sectors of kSector bytes) and says whether the
// drive delivered all of them; on false, `out` holds nothing usable.
class SectorSource {
  public:
    virtual ~SectorSource() = default;
    virtual bool Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) = 0;
};

// The image: what was read, at its offset. False when the target refused it (a full disk, an
// I/O error): the read stops there, and the map does not count those bytes as rescued.
class ImageSink {
  public:
    virtual ~ImageSink() = default;
    virtual bool Write(std::uint64_t offset, std::span<const std::byte> bytes) = 0;
};

struct RescueHooks {
    // Asked before every request: true ends the read there (time budget spent, stopped).
    std::function<bool()> stop;
    // After every request, with the map and where the read stands: to save the map now and
    // then, and to show progress.
    std::function<void(const RescueMap&, const MapProgress&)> progress;
};

// Largest request: 32 sectors (64 KiB), as large as an IDE CD drive's transfers go in two.
inline constexpr std::uint32_t kRescueRequestSectors = 32;

enum class RescueEnd {
    Finished,      // every sector rescued or known bad
    Stopped,       // `stop` ended it with areas left untried
    TargetFailed,  // the image could not be written
};

struct RescueResult {
    RescueEnd end = RescueEnd::Finished;
    MapProgress progress;  // where it ended, for the map's first line
};

// Reads what `map` does not hold yet (a fresh map: the whole disc), in sectors of kSector
// bytes from the disc's start (a last partial sector is read whole, written in part). `gaps`
// are byte ranges of the disc that hold no data sectors and that no drive reads as data (audio
// tracks; between two sessions, the first one's lead-out and the next one's lead-in): never
// asked for, left untried.
RescueResult RescueRead(RescueMap& map, SectorSource& disc, ImageSink& image,
                        const RescueHooks& hooks, std::span<const ByteRange> gaps = {});

}  // namespace dravolin::archive

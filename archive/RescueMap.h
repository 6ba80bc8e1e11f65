#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "archive/BagRecord.h"

namespace dravolin::archive {

// What a read of a disc into its image knows of each byte, in GNU ddrescue's terms and
// characters, so that ddrescue, ddrescuelog and ddrescueview read our maps and ddrescue can
// carry on from one on the same image.
enum class BlockState : char {
    NonTried = '?',    // not read yet
    NonTrimmed = '*',  // a large read failed here; its edges not read sector by sector yet
    NonScraped = '/',  // its edges trimmed; the sectors between not read one by one yet
    Bad = '-',         // a sector read alone failed
    Rescued = '+',     // read: the image holds the disc's bytes
};

struct MapBlock {
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
    BlockState state = BlockState::NonTried;
    std::uint64_t end() const { return pos + size; }
    bool operator==(const MapBlock&) const = default;
};

// Where the read stands, the map's first line: the position, what the read was doing there
// (ddrescue's characters: '?' copying, '*' trimming, '/' scraping, '+' finished) and the pass.
struct MapProgress {
    std::uint64_t pos = 0;
    char phase = '?';
    int pass = 1;
    bool operator==(const MapProgress&) const = default;
};

// Bytes [0, extent) of a disc, each in one state; neighbours in the same state are one block.
class RescueMap {
  public:
    explicit RescueMap(std::uint64_t extent);

    void Mark(std::uint64_t pos, std::uint64_t size, BlockState state);

    std::uint64_t Extent() const { return extent_; }
    std::vector<MapBlock> Blocks() const;
    std::uint64_t Bytes(BlockState state) const;
    // The first block in `state` that ends after `pos`, cut to start no earlier than `pos`.
    std::optional<MapBlock> NextFrom(std::uint64_t pos, BlockState state) const;
    // Nothing is left to try: every byte rescued or known bad.
    bool Finished() const;

    bool operator==(const RescueMap&) const = default;

  private:
    std::uint64_t extent_ = 0;
    std::map<std::uint64_t, MapBlock> blocks_;  // by pos
};

// The map a further read of the same disc carries on from, in another drive or the same one:
// every byte `earlier` does not hold as rescued is to be tried again (a sector one drive cannot
// read another often can), what it rescued is never asked for again.
RescueMap ForAnotherRead(const RescueMap& earlier);

// The mapfile's text: `heading` (comment lines, each starting with "# "), the progress line,
// one line per block, positions and sizes in hexadecimal as ddrescue writes them.
std::string MapText(const RescueMap& map, const MapProgress& progress, std::string_view heading);

struct ParsedMap {
    RescueMap map;
    MapProgress progress;
};
// A mapfile as ddrescue reads one: comment and blank lines skipped, numbers in C notation
// (0x hexadecimal, a leading 0 octal, else decimal). Blocks must follow each other from 0.
std::optional<ParsedMap> ParseMapText(std::string_view text);

// Where a file's bytes lie on the disc, in file order: `length` bytes from `discOffset`.
struct DiscExtent {
    std::uint64_t discOffset = 0;
    std::uint64_t length = 0;
};
// A position or size as the map writes it: "0x" and at least eight upper-case hex digits.
std::string MapHex(std::uint64_t value);

// The ranges of the file (offsets in the file) whose bytes the map does not hold as rescued.
std::vector<ByteRange> UnreadInFile(const RescueMap& map, std::span<const DiscExtent> extents);

}  // namespace dravolin::archive

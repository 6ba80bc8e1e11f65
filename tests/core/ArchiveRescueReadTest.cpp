// A disc read into its image with a rescue map: against a disc that fails chosen sectors, the
// map ends up naming exactly those sectors, the image holds every other byte, no sector is read
// more often than the plan allows, and a read stopped anywhere is carried on from its map.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>
#include "archive/Recovery.h"
#include "archive/RescueMap.h"
#include "archive/RescueRead.h"

namespace dravolin::archive {
namespace {

std::byte DiscByte(std::uint64_t offset) {
    return static_cast<std::byte>((offset * 131 + offset / kSector) % 251 + 1);
}

// A request fails when any of its sectors is bad, as a drive's does.
class FakeDisc : public SectorSource {
  public:
    FakeDisc(std::uint64_t sectors, std::set<std::uint64_t> bad)
        : bad_(std::move(bad)), reads(sectors, 0) {}

    bool Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) override {
        for (std::uint64_t s = sector; s < sector + count; ++s) ++reads.at(s);
        for (std::uint64_t s = sector; s < sector + count; ++s) {
            if (bad_.contains(s)) return false;
        }
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = DiscByte(sector * kSector + i);
        return true;
    }

    std::set<std::uint64_t> bad_;
    std::vector<int> reads;
};

class FakeImage : public ImageSink {
  public:
    explicit FakeImage(std::uint64_t size) : bytes(size) {}
    bool Write(std::uint64_t offset, std::span<const std::byte> data) override {
        if (offset + data.size() > room) return false;
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    }
    std::vector<std::byte> bytes;
    std::uint64_t room = UINT64_MAX;
};

std::set<std::uint64_t> BadSectors(const RescueMap& map) {
    std::set<std::uint64_t> bad;
    for (const MapBlock& block : map.Blocks()) {
        for (std::uint64_t at = block.pos; block.state == BlockState::Bad && at < block.end();
             at += kSector) {
            bad.insert(at / kSector);
        }
    }
    return bad;
}

std::set<std::uint64_t> Range(std::uint64_t from, std::uint64_t to) {
    std::set<std::uint64_t> out;
    for (std::uint64_t s = from; s < to; ++s) out.insert(s);
    return out;
}

struct ReadCase {
    const char* name;
    std::uint64_t sectors;
    std::set<std::uint64_t> bad;
    int stopAfter = -1;       // requests before the budget is spent; -1: never
    MapProgress stoppedAt{};  // what the read was doing then: its phase and pass
    ByteRange gap{};          // sectors between two sessions, which no drive reads
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class RescueReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RescueReads, NameExactlyTheBadSectorsAndHoldEveryOtherByte) {
    const ReadCase& c = GetParam();
    std::set<std::uint64_t> unreadable = c.bad;
    unreadable.merge(Range(c.gap.begin, c.gap.end));
    FakeDisc disc(c.sectors, unreadable);
    FakeImage image(c.sectors * kSector);
    RescueMap map(c.sectors * kSector);
    int requests = 0;
    RescueHooks hooks;
    hooks.stop = [&] { return c.stopAfter >= 0 && requests++ >= c.stopAfter; };
    const ByteRange gaps[] = {{c.gap.begin * kSector, c.gap.end * kSector}};
    const std::span<const ByteRange> gap = c.gap.end > c.gap.begin ? gaps : std::span(gaps, 0);
    RescueResult result = RescueRead(map, disc, image, hooks, gap);
    if (c.stopAfter >= 0) {
        ASSERT_EQ(result.end, RescueEnd::Stopped);
        EXPECT_FALSE(map.Finished());
        EXPECT_EQ(result.progress.phase, c.stoppedAt.phase);
        EXPECT_EQ(result.progress.pass, c.stoppedAt.pass);
        // Carried on from the map: what the first read rescued is never asked for again.
        const std::vector<int> before = disc.reads;
        const RescueMap first = map;
        result = RescueRead(map, disc, image, {});
        for (const MapBlock& block : first.Blocks()) {
            for (std::uint64_t s = block.pos / kSector;
                 block.state == BlockState::Rescued && s < block.end() / kSector; ++s) {
                EXPECT_EQ(disc.reads[s], before[s]) << "sector " << s;
            }
        }
    }
    ASSERT_EQ(result.end, RescueEnd::Finished);
    EXPECT_EQ(result.progress.phase, '+');
    EXPECT_EQ(map.Finished(), gap.empty());
    EXPECT_EQ(map.Bytes(BlockState::NonTried), (c.gap.end - c.gap.begin) * kSector);
    EXPECT_EQ(BadSectors(map), c.bad);
    EXPECT_EQ(map.Bytes(BlockState::Bad), c.bad.size() * kSector);
    for (std::uint64_t s = 0; s < c.sectors; ++s) {
        const bool bad = unreadable.contains(s);
        // Again only when it shared a failed request; a bad one in its request, trimmed,
        // scraped; one between sessions never.
        if (c.gap.begin <= s && s < c.gap.end) {
            EXPECT_EQ(disc.reads[s], 0) << "sector " << s;
        }
        EXPECT_LE(disc.reads[s], bad ? 3 : 2) << "sector " << s;
        for (std::uint64_t i = s * kSector; i < (s + 1) * kSector; i += 512) {
            ASSERT_EQ(image.bytes[i], bad ? std::byte{0} : DiscByte(i)) << "byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Archive, RescueReads,
    ::testing::Values(ReadCase{"NoDamage", 100, {}}, ReadCase{"OneBadSector", 100, {40}},
                      ReadCase{"ABadAreaLargerThanTheSkip", 400, Range(100, 180)},
                      ReadCase{"ScatteredSectors", 300, {0, 5, 7, 9, 150, 299}},
                      ReadCase{"ErrorsAtTheVeryEnd", 100, {98, 99}},
                      ReadCase{"EverySectorBad", 40, Range(0, 40)},
                      ReadCase{"BudgetSpentInTheSecondPass", 400, Range(100, 180), 12, {0, '?', 2}},
                      ReadCase{"BudgetSpentWhileTrimming", 400, Range(100, 180), 20, {0, '*', 1}},
                      ReadCase{"BudgetSpentWhileScraping", 400, Range(100, 180), 60, {0, '/', 1}},
                      ReadCase{"ASessionGapIsNeverRead", 400, {149, 250}, -1, {}, {150, 250}}),
    [](const auto& info) { return std::string(info.param.name); });

// A disc read again, in a drive that fails other sectors, overlapping the first one's: only
// what the first read lacked is asked for, what it got stays whatever the second drive would
// make of it, and what neither read is left bad.
TEST(RescueRead, ASecondDriveIsAskedOnlyForWhatTheFirstLacked) {
    std::set<std::uint64_t> first = Range(100, 180), second = Range(150, 220);
    first.insert(250);
    second.insert(20);
    FakeDisc one(300, first), other(300, second);
    FakeImage image(300 * kSector);
    RescueMap map(300 * kSector);
    ASSERT_EQ(RescueRead(map, one, image, {}).end, RescueEnd::Finished);
    ASSERT_EQ(BadSectors(map), first);

    map = ForAnotherRead(map);
    EXPECT_EQ(map.Bytes(BlockState::NonTried), first.size() * kSector);
    ASSERT_EQ(RescueRead(map, other, image, {}).end, RescueEnd::Finished);
    EXPECT_EQ(BadSectors(map), Range(150, 180));
    for (std::uint64_t s = 0; s < 300; ++s) {
        EXPECT_EQ(other.reads[s] == 0, !first.contains(s)) << "sector " << s;
        const bool lost = s >= 150 && s < 180;
        ASSERT_EQ(image.bytes[s * kSector], lost ? std::byte{0} : DiscByte(s * kSector))
            << "sector " << s;
    }
}

TEST(RescueRead, NeverCountsBytesTheImageRefusedAsRescued) {
    FakeDisc disc(100, {});
    FakeImage image(100 * kSector);
    image.room = 50 * kSector + 100;
    RescueMap map(100 * kSector);
    EXPECT_EQ(RescueRead(map, disc, image, {}).end, RescueEnd::TargetFailed);
    EXPECT_EQ(map.Bytes(BlockState::Rescued), 32 * kSector);
}

TEST(RescueMapText, ReadsBackAsWrittenAndRefusesWhatDdrescueWouldNot) {
    RescueMap map(0x40000);
    map.Mark(0, 0x10000, BlockState::Rescued);
    map.Mark(0x10000, 0x800, BlockState::Bad);
    map.Mark(0x10800, 0x1000, BlockState::NonScraped);
    map.Mark(0x11800, 0x2000, BlockState::NonTrimmed);
    const MapProgress at{0x11800, '*', 1};
    const std::string text = MapText(map, at, "# Mapfile. Created by Dravolin");
    const auto parsed = ParseMapText(text);
    ASSERT_TRUE(parsed) << text;
    EXPECT_EQ(parsed->map, map);
    EXPECT_EQ(parsed->progress, at);
    EXPECT_NE(text.find("\n0x00010000  0x00000800  -\n"), std::string::npos) << text;
    // ddrescue's older maps have no pass; numbers in any C notation.
    EXPECT_TRUE(ParseMapText("0 +\n0 4096 +\n4096 010000 -\n"));
    for (const char* wrong :
         {"", "0x0 + 1\n0x0 0x800 +\n0x1000 0x800 +\n", "0x0 + 1\n0x0 0x800 x\n",
          "0x0 + 1\n0x0 0 +\n", "0x0 + 1\n0x0 0x800 + extra\n", "0x0 + 1\n0x10 0x800 +\n",
          "zz + 1\n", "0x0 + 1\n0x0 -5 +\n"}) {
        EXPECT_FALSE(ParseMapText(wrong)) << wrong;
    }
}

TEST(RescueMap, UnreadBytesOfAFileFollowItsExtentsInFileOrder) {
    RescueMap map(100 * kSector);
    map.Mark(0, 100 * kSector, BlockState::Rescued);
    map.Mark(10 * kSector, kSector, BlockState::Bad);
    map.Mark(50 * kSector, 2 * kSector, BlockState::NonTried);
    // The file: sectors 49-52, then 9-11 (a file's extents need not follow disc order).
    const std::vector<DiscExtent> extents{{49 * kSector, 4 * kSector},
                                          {9 * kSector + 100, 2 * kSector}};
    EXPECT_EQ(
        UnreadInFile(map, extents),
        (std::vector<ByteRange>{{kSector, 3 * kSector}, {5 * kSector - 100, 6 * kSector - 100}}));
    // Bytes past the map were never read.
    const std::vector<DiscExtent> past{{99 * kSector, 2 * kSector}};
    EXPECT_EQ(UnreadInFile(map, past), (std::vector<ByteRange>{{kSector, 2 * kSector}}));
}

}  // namespace
}  // namespace dravolin::archive

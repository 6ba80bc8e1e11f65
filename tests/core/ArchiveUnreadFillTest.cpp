// The fill in an image's unread sectors, as a file taken out of the image shows it: each sector
// of the file that holds it becomes zeros and a damaged range, data never does, and a last
// sector too short to tell is settled by reading it again under the other fill.
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>
#include "archive/UnreadFill.h"

namespace dravolin::archive {
namespace {

constexpr std::uint64_t kSeed = 7;

std::string Fill(const UnreadFill& fill, std::size_t length) {
    return std::string(fill.Sector().data(), length);
}

struct FillCase {
    const char* name;
    // The file's sectors as read: 'd' data, 'e' data that is the fill's start ('d' differs in
    // its last byte), 'f' the fill, 'o' the fill before a switch.
    std::string sectors;
    std::size_t lastLength;  // bytes of the last sector
    // For a doubtful last sector: what a read under the other fill gives ('f' the fill, 'd'
    // data, 'x' no answer); ' ' when it must not be asked.
    char again = ' ';
    std::vector<ByteRange> damaged;
};

void PrintTo(const FillCase& c, std::ostream* os) {
    *os << c.name;
}

class Fills : public ::testing::TestWithParam<FillCase> {};

TEST_P(Fills, ZeroExactlyTheFilledSectors) {
    const FillCase& c = GetParam();
    UnreadFill fill(kSeed);
    UnreadFill before(kSeed);
    const bool switched = c.sectors.find('o') != std::string::npos;
    if (switched) fill.Switch();
    std::string bytes;
    std::string expected;
    for (std::size_t i = 0; i < c.sectors.size(); ++i) {
        const std::size_t length = i + 1 == c.sectors.size() ? c.lastLength : kSector;
        // Data that begins as the fill does, up to its last byte.
        std::string data = Fill(fill, length);
        if (c.sectors[i] == 'd') data.back() = static_cast<char>(~data.back());
        const bool isData = c.sectors[i] == 'd' || c.sectors[i] == 'e';
        const std::string sector = isData                ? data
                                   : c.sectors[i] == 'f' ? Fill(fill, length)
                                                         : Fill(before, length);
        bytes += sector;
        expected += isData ? data : std::string(length, '\0');
    }
    int asked = 0;
    const ReadAgain again = [&](std::uint64_t at, std::span<char> out) {
        ++asked;
        EXPECT_EQ(at, (c.sectors.size() - 1) * kSector);
        if (c.again == 'x') return false;
        fill.Switch();
        const std::string now =
            c.again == 'f' ? Fill(fill, out.size()) : std::string(out.data(), out.size());
        std::copy(now.begin(), now.end(), out.begin());
        return true;
    };
    std::vector<ByteRange> damaged;
    ScrubFill(fill, bytes, 0, damaged, again);
    EXPECT_EQ(damaged, c.damaged);
    EXPECT_EQ(asked, c.again == ' ' ? 0 : 1);
    if (c.again != 'x') {
        EXPECT_EQ(bytes, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Fills,
    ::testing::Values(
        FillCase{"AllData", "ddd", kSector, ' ', {}},
        FillCase{"MiddleSectorFilled", "dfd", kSector, ' ', {{kSector, 2 * kSector}}},
        FillCase{"NeighboursJoined", "ffd", 100, ' ', {{0, 2 * kSector}}},
        FillCase{"ShortLastSectorLongEnoughToTell",
                 "df",
                 kFillSure,
                 ' ',
                 {{kSector, kSector + kFillSure}}},
        FillCase{"DataShortOfTheWholeFill", "d", kFillSure, ' ', {}},
        FillCase{"FillFromBeforeASwitch", "dod", kSector, ' ', {{kSector, 2 * kSector}}},
        FillCase{"TinyTailUnderTheOtherFillTooIsFill", "df", 5, 'f', {{kSector, kSector + 5}}},
        FillCase{"TinyTailThatStaysIsData", "de", 5, 'd', {}},
        FillCase{"TinyTailNotReadAgainCountsAsData", "df", 5, 'x', {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MergeDamage, OrderedAndJoined) {
    EXPECT_EQ(MergeDamage({{0, 10}, {40, 50}}, {{10, 20}, {45, 60}, {70, 80}}),
              (std::vector<ByteRange>{{0, 20}, {40, 60}, {70, 80}}));
}

}  // namespace
}  // namespace dravolin::archive

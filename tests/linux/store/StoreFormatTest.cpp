// The per-user store's format: what a reader keeps of intact, damaged and cut files.
#include <gtest/gtest.h>
#include "LinuxTestSupport.h"
#include "platform/linux/store/StoreChecksum.h"
#include "platform/linux/store/StoreFormat.h"

namespace dravolin::lnx::test {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Where each record of SerializeStore(records) ends.
std::vector<std::size_t> RecordEnds(const std::vector<StoreRecord>& records) {
    std::vector<std::size_t> ends;
    for (std::size_t i = 1; i <= records.size(); ++i) {
        ends.push_back(SerializeStore({records.begin(), records.begin() + i}).size());
    }
    return ends;
}

TEST(StoreFormat, RecordsRoundTripWithExactBytesAndTypes) {
    const std::vector<StoreRecord> records = SampleStoreRecords();
    const ParsedStore parsed = ParseStore(Bytes(SerializeStore(records)));
    EXPECT_FALSE(parsed.damaged);
    EXPECT_EQ(parsed.records, records);
}

TEST(StoreFormat, AnEmptyFileIsNewNotDamaged) {
    const ParsedStore parsed = ParseStore({});
    EXPECT_FALSE(parsed.damaged);
    EXPECT_TRUE(parsed.records.empty());
}

TEST(StoreFormat, AForeignFileLoadsNothingAndIsDamaged) {
    const ParsedStore parsed = ParseStore(Bytes("[Dravolin]\nDestination00=/tmp\n"));
    EXPECT_TRUE(parsed.damaged);
    EXPECT_TRUE(parsed.records.empty());
}

TEST(StoreFormat, EveryCutKeepsEveryRecordThatEndsBeforeIt) {
    const std::vector<StoreRecord> records = SampleStoreRecords();
    const std::string bytes = SerializeStore(records);
    const std::vector<std::size_t> ends = RecordEnds(records);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        std::size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= cut) ++whole;
        const ParsedStore parsed = ParseStore(Bytes(bytes.substr(0, cut)));
        const std::vector<StoreRecord> expected(records.begin(), records.begin() + whole);
        ASSERT_EQ(parsed.records, expected) << "cut at " << cut;
        const bool atABoundary = cut == 0 || cut == kStoreMagic.size() ||
                                 std::find(ends.begin(), ends.end(), cut) != ends.end();
        EXPECT_EQ(parsed.damaged, !atABoundary) << "cut at " << cut;
    }
}

TEST(StoreFormat, ADamagedRecordIsSkippedAndTheRestStillLoads) {
    const std::vector<StoreRecord> records = SampleStoreRecords();
    std::string bytes = SerializeStore(records);
    // Flip a byte inside the first record's data: its checksum no longer matches.
    bytes[bytes.find("/home/u") + 3] ^= 0x20;
    const ParsedStore parsed = ParseStore(Bytes(bytes));
    EXPECT_TRUE(parsed.damaged);
    const std::vector<StoreRecord> rest(records.begin() + 1, records.end());
    EXPECT_EQ(parsed.records, rest);
}

TEST(StoreFormat, AnyFlippedBitOfTheHeaderLosesNoRecord) {
    const std::vector<StoreRecord> records = SampleStoreRecords();
    const std::string intact = SerializeStore(records);
    for (std::size_t bit = 0; bit < 8 * kStoreMagic.size(); ++bit) {
        std::string bytes = intact;
        bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
        const ParsedStore parsed = ParseStore(Bytes(bytes));
        EXPECT_TRUE(parsed.damaged) << "bit " << bit;
        EXPECT_EQ(parsed.records, records) << "bit " << bit;
    }
}

TEST(StoreFormat, ALengthDamagedToReachTheEndHidesNoLaterRecord) {
    const std::vector<StoreRecord> records = SampleStoreRecords();
    std::string bytes = SerializeStore(records);
    const std::size_t length = kStoreMagic.size() + 4;  // the first record's body length
    const std::uint32_t claimed = static_cast<std::uint32_t>(bytes.size() - length - 8);
    for (int i = 0; i < 4; ++i) bytes[length + i] = static_cast<char>(claimed >> (8 * i));
    const ParsedStore parsed = ParseStore(Bytes(bytes));
    EXPECT_TRUE(parsed.damaged);
    EXPECT_EQ(parsed.records, std::vector<StoreRecord>(records.begin() + 1, records.end()));
}

TEST(StoreFormat, ALaterDuplicateReplacesTheDataAndKeepsTheFirstName) {
    const std::vector<StoreRecord> records = {
        {1, "Software\\Dravolin", "Destination00", 1, "first"},
        {1, "Software\\Dravolin", "Destination01", 1, "other"},
        {1, "SOFTWARE\\dravolin", "DESTINATION00", 3, "second"},
        // The same bytes cut elsewhere between key and name: another value.
        {1, "Software\\DravolinD", "estination00", 1, "elsewhere"},
    };
    const ParsedStore parsed = ParseStore(Bytes(SerializeStore(records)));
    const std::vector<StoreRecord> expected = {
        {1, "Software\\Dravolin", "Destination00", 3, "second"},
        {1, "Software\\Dravolin", "Destination01", 1, "other"},
        {1, "Software\\DravolinD", "estination00", 1, "elsewhere"},
    };
    EXPECT_EQ(parsed.records, expected);
}

// Stores made to cost a parser the most, of about `size` bytes.
void PutLe32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// Records every 32 bytes, each well formed but for its checksum and claiming a body that
// reaches the end of the file: a reader must try each, and each hides the ones after it.
std::string ClaimsToTheEnd(std::size_t size, bool header) {
    std::string bytes = header ? std::string(kStoreMagic) : std::string("DRVSTOR\x02", 8);
    while (bytes.size() + 32 <= size) {
        const auto body = static_cast<std::uint32_t>(size - bytes.size() - 8 - 4);
        bytes += "\xD7REC";
        PutLe32(bytes, body);
        for (std::uint32_t field : {1u, 1u, 0u, 0u, body - 20}) PutLe32(bytes, field);
        bytes += std::string(4, '\x55');
    }
    bytes.resize(size, '\x55');
    return bytes;
}

// Small intact records, each with a name of its own.
std::string ManyNames(std::size_t size) {
    std::vector<StoreRecord> records;
    std::size_t bytes = kStoreMagic.size();
    for (unsigned i = 0; bytes < size; ++i) {
        records.push_back({1, "K", "V" + std::to_string(i), 1, ""});
        bytes += SerializeStore({records.back()}).size() - kStoreMagic.size();
    }
    return SerializeStore(records);
}

struct CostCase {
    const char* shape;
    std::string (*make)(std::size_t size);
    friend void PrintTo(const CostCase& c, std::ostream* out) { *out << c.shape; }
};

class ParseCost : public ::testing::TestWithParam<CostCase> {};

TEST_P(ParseCost, GrowsInProportionToTheFile) {
    const auto cost = [](std::size_t size) {
        const std::string bytes = GetParam().make(size);
        ParseWork work;
        ParseStore(Bytes(bytes), &work);
        return work.steps;
    };
    constexpr std::size_t kSmall = 256u << 10;
    constexpr std::size_t kLarge = 4 * kSmall;
    const std::uint64_t small = cost(kSmall);
    const std::uint64_t large = cost(kLarge);
    // Four times the bytes: four times the work, where a quadratic parser does sixteen.
    std::cout << GetParam().shape << ": " << small << " steps for 256 KiB, " << large
              << " for 1 MiB\n";
    EXPECT_LE(large, 5 * small) << small << " steps for 256 KiB, " << large << " for 1 MiB";
    EXPECT_LE(small, 200 * kSmall) << "steps per byte";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ParseCost,
    ::testing::Values(CostCase{"ClaimsToTheEnd",
                               [](std::size_t size) { return ClaimsToTheEnd(size, true); }},
                      CostCase{"ClaimsAfterADamagedHeader",
                               [](std::size_t size) { return ClaimsToTheEnd(size, false); }},
                      CostCase{"ManyNames", ManyNames}),
    [](const auto& info) { return std::string(info.param.shape); });

TEST(StoreChecksum, EveryStretchHasTheChecksumOfItsBytes) {
    EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);  // the check value of CRC-32
    const std::string bytes = Pattern(1000, 7);
    std::uint64_t steps = 0;
    const StretchChecksums checksums(Bytes(bytes), steps);
    for (std::size_t from : {0u, 1u, 63u, 64u, 65u, 500u, 999u, 1000u}) {
        for (std::size_t length = 0; from + length <= bytes.size(); length = length * 3 + 1) {
            ASSERT_EQ(checksums.Of(from, length), Crc32(Bytes(bytes.substr(from, length))))
                << from << "+" << length;
        }
    }
}

TEST(StoreFormat, NamesCompareIgnoringAsciiCaseOnly) {
    EXPECT_TRUE(SameName("Software\\Dravolin", "SOFTWARE\\dravolin"));
    EXPECT_FALSE(SameName("Destination0", "Destination00"));
    EXPECT_FALSE(SameName("\xc3\xa9", "\xc3\x89"));  // é and É are different bytes
}

}  // namespace
}  // namespace dravolin::lnx::test

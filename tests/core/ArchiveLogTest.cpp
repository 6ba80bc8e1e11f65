#include <gtest/gtest.h>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "archive/ArchiveLog.h"
#include "archive/DiscResult.h"
#include "archive/LocalTime.h"

namespace dravolin::archive {

// Rows in failure messages: the label's bytes escaped, the rest as written.
void PrintTo(const LogRow& row, std::ostream* os) {
    *os << "{" << ::testing::PrintToString(row.label) << " " << FormatRow(row) << "}";
}

namespace {

LogRow Row(std::string label, std::string bagFolder = "B") {
    return {"2026-12-08T14:03:11+01:00",
            "2026-12-08T14:09:52+01:00",
            "E",
            std::move(label),
            0x1a2b3c4d,
            std::move(bagFolder),
            12,
            345678901234,
            0,
            DiscResult::Complete,
            {},
            {}};
}

LogRow With(LogRow row, std::uint32_t fingerprint, DiscResult result, std::uint64_t damaged) {
    row.fingerprint = fingerprint;
    row.result = result;
    row.damagedFiles = damaged;
    return row;
}

struct RowCase {
    const char* name;
    LogRow row;
    std::string line;  // exactly as written
};

void PrintTo(const RowCase& c, std::ostream* os) {
    *os << c.name;
}

class LogRows : public ::testing::TestWithParam<RowCase> {};

TEST_P(LogRows, AreWrittenQuotedAndReadBackExactly) {
    const RowCase& c = GetParam();
    EXPECT_EQ(FormatRow(c.row), c.line);
    EXPECT_EQ(ParseLog(AppendText("", c.row)), std::vector<LogRow>{c.row});
}

const std::string kTimes = "\"2026-12-08T14:03:11+01:00\",\"2026-12-08T14:09:52+01:00\",\"E\",";

INSTANTIATE_TEST_SUITE_P(
    Archive, LogRows,
    ::testing::Values(
        RowCase{"Plain", Row("PHOTOS_2019", "PHOTOS_2019 2026-12-08 1a2b3c4d"),
                kTimes + "\"PHOTOS_2019\",\"1a2b3c4d\",\"\",\"PHOTOS_2019 2026-12-08 1a2b3c4d\","
                         "12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{"Comma", Row("a,b"),
                kTimes + "\"a,b\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{"Quotes", Row("\"q\" \"\""),
                kTimes +
                    "\"\"\"q\"\" "
                    "\"\"\"\"\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{
            "LineBreaks", Row("a\r\nb\nc\r"),
            kTimes +
                "\"a\r\nb\nc\r\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{"Formula", Row("=HYPERLINK(\"x\")", "=x"),
                kTimes + "\"'=HYPERLINK(\"\"x\"\")\",\"1a2b3c4d\",\"\",\"'=x\",12,345678901234,0,"
                         "\"complete\",\"\"\r\n"},
        RowCase{
            "PlusMinusAt", Row("+1", "-1"),
            kTimes + "\"'+1\",\"1a2b3c4d\",\"\",\"'-1\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{
            "AtTabCarriageReturn", Row("@x", "\tx"),
            kTimes + "\"'@x\",\"1a2b3c4d\",\"\",\"'\tx\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{
            "CarriageReturnFirst", Row("\rx"),
            kTimes + "\"'\rx\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{
            "ApostropheFirstKeepsItsOwn", Row("'quoted'"),
            kTimes +
                "\"''quoted'\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{"FormulaNotFirstIsText", Row("a=1"),
                kTimes + "\"a=1\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{"BytesNotUtf8AndNul", Row(std::string("\xFF\xFE\0\x80", 4)),
                kTimes + std::string("\"\xFF\xFE\0\x80\"", 6) +
                    ",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{
            "Cyrillic", Row("Фото"),
            kTimes + "\"Фото\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{"UnknownFingerprintIsEmpty", With(Row(""), 0, DiscResult::NoFileSystem, 0),
                kTimes + "\"\",\"\",\"\",\"B\",12,345678901234,0,\"unreadable\",\"\"\r\n"},
        RowCase{"Damaged", With(Row("X"), 0xFFFFFFFF, DiscResult::Incomplete, 3),
                kTimes + "\"X\",\"ffffffff\",\"\",\"B\",12,345678901234,3,\"incomplete\",\"\"\r\n"},
        RowCase{"LargestNumbers",
                [] {
                    LogRow row = With(Row("X"), 1, DiscResult::AlreadyArchived, UINT64_MAX);
                    row.files = row.bytes = UINT64_MAX;
                    return row;
                }(),
                kTimes + "\"X\",\"00000001\",\"\",\"B\",18446744073709551615,18446744073709551615,"
                         "18446744073709551615,\"already archived\",\"\"\r\n"},
        RowCase{"Identity",
                [] {
                    LogRow row = Row("X");
                    row.identity = std::string(32, 'a') + std::string(32, '9');
                    return row;
                }(),
                kTimes + "\"X\",\"1a2b3c4d\",\"" + std::string(32, 'a') + std::string(32, '9') +
                    "\",\"B\",12,345678901234,0,\"complete\",\"\"\r\n"},
        RowCase{"ReadAgainNote",
                [] {
                    LogRow row = Row("X");
                    row.note = "read again: 6144 bytes more";
                    return row;
                }(),
                kTimes + "\"X\",\"1a2b3c4d\",\"\",\"B\",12,345678901234,0,\"complete\","
                         "\"read again: 6144 bytes more\"\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A power cut at every byte of a row: the torn row is never read, unless nothing but its line
// break is missing, or only its note (the row is then kept without it), and the row appended
// after it always is.
TEST(ArchiveLog, ATornLineIsSkippedAndTheNextRowStillRead) {
    const LogRow first = Row("first"), next = Row("next");
    LogRow torn = Row("a,\"b\"\r\nc");
    torn.identity = std::string(64, 'f');
    torn.note = "n";
    LogRow noteless = torn;
    noteless.note.clear();
    const std::string log = AppendText("", first);
    const std::string tornLine = FormatRow(torn);
    for (std::size_t cut = 0; cut < tornLine.size(); ++cut) {
        const std::string cutLog = log + tornLine.substr(0, cut);
        ASSERT_EQ(ParseLog(cutLog), std::vector<LogRow>{first}) << "cut at " << cut;
        // The cut falls after the result, before the note's first quote or after its separator.
        const bool noteLost = cut == tornLine.size() - 6 || cut == tornLine.size() - 5;
        const bool whole = cut >= tornLine.size() - 2;
        const std::vector<LogRow> expected = whole      ? std::vector<LogRow>{first, torn, next}
                                             : noteLost ? std::vector<LogRow>{first, noteless, next}
                                                        : std::vector<LogRow>{first, next};
        ASSERT_EQ(ParseLog(cutLog + AppendText(cutLog, next)), expected) << "cut at " << cut;
    }
}

struct ForeignCase {
    const char* name;
    std::string line;
    std::optional<LogRow> kept;
};

void PrintTo(const ForeignCase& c, std::ostream* os) {
    *os << c.name;
}

class ForeignLines : public ::testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignLines, AreSkippedWithoutLosingTheRowsAround) {
    const ForeignCase& c = GetParam();
    const LogRow before = Row("before"), after = Row("after");
    std::vector<LogRow> expected{before};
    if (c.kept) expected.push_back(*c.kept);
    expected.push_back(after);
    EXPECT_EQ(ParseLog(AppendText("", before) + c.line + FormatRow(after)), expected);
}

const std::string kRest = ",\"1a2b3c4d\",\"B\",12,345678901234,0,\"complete\"";

INSTANTIATE_TEST_SUITE_P(
    Archive, ForeignLines,
    ::testing::Values(
        ForeignCase{"EmptyLine", "\r\n", std::nullopt},
        ForeignCase{"HeaderAgain", HeaderLine(), std::nullopt},
        ForeignCase{"ShortLine", "a,b,c\r\n", std::nullopt},
        ForeignCase{"ElevenFields", kTimes + "\"X\"" + kRest + ",x\r\n", std::nullopt},
        ForeignCase{"UnknownResult", kTimes + "\"X\",\"1a2b3c4d\",\"B\",1,0,0,\"done\"\r\n",
                    std::nullopt},
        ForeignCase{"SignedNumber", kTimes + "\"X\",\"1a2b3c4d\",\"B\",-1,0,0,\"complete\"\r\n",
                    std::nullopt},
        ForeignCase{"NumberTooLarge",
                    kTimes + "\"X\",\"1a2b3c4d\",\"B\",18446744073709551616,0,0,\"complete\"\r\n",
                    std::nullopt},
        ForeignCase{"BadFingerprint", kTimes + "\"X\",\"1a2b3c4\",\"B\",1,0,0,\"complete\"\r\n",
                    std::nullopt},
        ForeignCase{"TextAfterClosingQuote", kTimes + "\"X\"y" + kRest + "\r\n", std::nullopt},
        ForeignCase{"QuoteInBareField", kTimes + "X\"y" + kRest + "\r\n", std::nullopt},
        ForeignCase{"UnclosedQuote", "\"2026-12-08,E\r\n", std::nullopt},
        ForeignCase{"LoneCarriageReturn", kTimes + "\"X\"" + kRest + "\r", std::nullopt},
        ForeignCase{"BareFieldsAndLineFeed", "2026,2026,E,X,1A2B3C4D,B,1,2,3,incomplete\n",
                    LogRow{"2026",
                           "2026",
                           "E",
                           "X",
                           0x1a2b3c4d,
                           "B",
                           1,
                           2,
                           3,
                           DiscResult::Incomplete,
                           {},
                           {}}},
        ForeignCase{"IdentityNotHex",
                    kTimes + "\"X\",\"1a2b3c4d\",\"not a digest\",\"B\",1,0,0,\"complete\"\r\n",
                    std::nullopt},
        ForeignCase{"IdentityUpperCase",
                    kTimes + "\"X\",\"1a2b3c4d\",\"" + std::string(64, 'A') +
                        "\",\"B\",1,0,0,\"complete\"\r\n",
                    std::nullopt},
        ForeignCase{"ThirteenColumns",
                    kTimes + "\"X\",\"1a2b3c4d\",\"\",\"B\",1,0,0,\"complete\",\"\",\"\"\r\n",
                    std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimeCase {
    const char* name;
    LocalTime time;
    std::string date, clock, iso;
};

void PrintTo(const TimeCase& c, std::ostream* os) {
    *os << c.name;
}

class LogTimes : public ::testing::TestWithParam<TimeCase> {};

TEST_P(LogTimes, AreWrittenWithTheirOffset) {
    const TimeCase& c = GetParam();
    EXPECT_EQ(DateText(c.time), c.date);
    EXPECT_EQ(TimeText(c.time), c.clock);
    EXPECT_EQ(IsoText(c.time), c.iso);
}

INSTANTIATE_TEST_SUITE_P(Archive, LogTimes,
                         ::testing::Values(TimeCase{"East",
                                                    {2026, 12, 8, 14, 3, 11, 60},
                                                    "2026-12-08",
                                                    "14-03-11",
                                                    "2026-12-08T14:03:11+01:00"},
                                           TimeCase{"WestWithMinutes",
                                                    {2027, 1, 2, 3, 4, 5, -210},
                                                    "2027-01-02",
                                                    "03-04-05",
                                                    "2027-01-02T03:04:05-03:30"},
                                           TimeCase{"WestUnderAnHour",
                                                    {2026, 6, 30, 23, 59, 59, -30},
                                                    "2026-06-30",
                                                    "23-59-59",
                                                    "2026-06-30T23:59:59-00:30"},
                                           TimeCase{"Utc",
                                                    {2026, 12, 8, 0, 0, 0, 0},
                                                    "2026-12-08",
                                                    "00-00-00",
                                                    "2026-12-08T00:00:00+00:00"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct WordCase {
    DiscResult result;
    const char* word;
};

void PrintTo(const WordCase& c, std::ostream* os) {
    *os << c.word;
}

class ResultWords : public ::testing::TestWithParam<WordCase> {};

TEST_P(ResultWords, AreWrittenAndReadBack) {
    EXPECT_EQ(ResultWord(GetParam().result), GetParam().word);
    EXPECT_EQ(ParseResult(GetParam().word), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Archive, ResultWords,
                         ::testing::Values(WordCase{DiscResult::Complete, "complete"},
                                           WordCase{DiscResult::Incomplete, "incomplete"},
                                           WordCase{DiscResult::NoFileSystem, "unreadable"},
                                           WordCase{DiscResult::AlreadyArchived,
                                                    "already archived"},
                                           WordCase{DiscResult::TargetFull, "target full"},
                                           WordCase{DiscResult::Failed, "failed"}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(ResultWords, OnlyTheExactWordsAreRead) {
    for (const char* word : {"", "Complete", "complete ", "already_archived", "unknown"}) {
        EXPECT_EQ(ParseResult(word), std::nullopt) << word;
    }
}

}  // namespace
}  // namespace dravolin::archive

#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <string>
#include <vector>
#include "archive/BagName.h"

namespace dravolin::archive {
namespace {

BagFields Disc(std::string label, std::uint32_t serial = 0x1a2b3c4d) {
    return {std::move(label), LocalTime{2026, 12, 8, 14, 3, 11, 60}, serial, "E"};
}

struct NameCase {
    const char* name;
    std::string pattern;
    BagFields fields;
    std::string expected;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class BagNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(BagNames, AreOneSafeFolderName) {
    const NameCase& c = GetParam();
    EXPECT_EQ(BagName(c.pattern, c.fields), c.expected);
}

const std::string k199(199, 'a');

INSTANTIATE_TEST_SUITE_P(
    Archive, BagNames,
    ::testing::Values(
        NameCase{"DefaultPattern", std::string(kDefaultPattern), Disc("PHOTOS_2019"),
                 "PHOTOS_2019 2026-12-08 1a2b3c4d"},
        NameCase{"EveryField", "{drive}-{label} {date} {time} {serial}", Disc("X"),
                 "E-X 2026-12-08 14-03-11 1a2b3c4d"},
        NameCase{"SerialIsEightHexDigits", "{serial}", Disc("X", 0xABC), "00000abc"},
        NameCase{"RefusedPatternFallsBackToDefault", "{lable}", Disc("X"), "X 2026-12-08 1a2b3c4d"},
        NameCase{"ForbiddenCharacters", "{label}", Disc("a/b\\c:d*e?f\"g<h>i|j"),
                 "a_b_c_d_e_f_g_h_i_j"},
        NameCase{"ControlCharacters", "{label}",
                 Disc("a\tb\x01"
                      "c\x7f"
                      "d\ne"),
                 "a_b_c_d_e"},
        NameCase{"SlashInPatternMakesNoSubfolder", "{label}/{date}", Disc("X"), "X_2026-12-08"},
        NameCase{"CyrillicKept", "{label}", Disc("Фото 2019"), "Фото 2019"},
        NameCase{"BytesThatAreNotUtf8", "{label}",
                 Disc("a\xFF"
                      "b\xC0\xAF"
                      "c\xED\xA0\x80"
                      "d\xD0"),
                 "a_b__c___d_"},
        NameCase{"EmptyLabel", std::string(kDefaultPattern), Disc(""), "Disc 2026-12-08 1a2b3c4d"},
        NameCase{"BlankLabel", "{label}", Disc(" \t "), "Disc"},
        NameCase{"PaddedLabel", "{label}|", Disc("  PHOTOS   "), "PHOTOS_"},
        NameCase{"EmptyPattern", "", Disc("X"), "Disc"},
        NameCase{"Dot", "{label}", Disc("."), "Disc"},
        NameCase{"DotDot", "{label}", Disc(".."), "Disc"},
        NameCase{"DotsAndSpaces", " . . ", Disc("X"), "Disc"},
        NameCase{"LeadingDotIsNotHidden", "{label}", Disc(".config"), "_config"},
        NameCase{"TrailingDotsAndSpaces", "{label}. .", Disc("X"), "X"},
        NameCase{"DeviceName", "{label}", Disc("CON"), "CON_"},
        NameCase{"DeviceNameAnyCaseAndExtension", "{label}", Disc("nul.tar.gz"), "nul_.tar.gz"},
        NameCase{"DeviceNameWithNumber", "{label}", Disc("Lpt9"), "Lpt9_"},
        NameCase{"DeviceNameWithSuperscript", "{label}", Disc("COM\xC2\xB9"), "COM\xC2\xB9_"},
        NameCase{"DeviceNameBeforeSpaces", "{label}", Disc("aux .x"), "aux_ .x"},
        NameCase{"LongerThanDeviceName", "{label}", Disc("CONSOLE"), "CONSOLE"},
        NameCase{"NumberTooLongForDevice", "{label}", Disc("COM10"), "COM10"},
        NameCase{"CapFitsWholeCharacter", "{label}", Disc(std::string(198, 'a') + "Ж"),
                 std::string(198, 'a') + "Ж"},
        NameCase{"CapNeverSplitsCharacter", "{label}", Disc(k199 + "Ж"), k199},
        NameCase{"CapNeverSplitsFourBytes", "{label}",
                 Disc(std::string(197, 'a') + "\xF0\x9F\x98\x80"), std::string(197, 'a')},
        NameCase{"CapThenTrim", "{label}", Disc(std::string(190, 'a') + std::string(20, ' ') + "b"),
                 std::string(190, 'a')}),
    [](const auto& info) { return std::string(info.param.name); });

struct PatternCase {
    const char* name;
    std::string pattern;
    PatternProblem problem;
    std::size_t offset;
    std::string text;
};

void PrintTo(const PatternCase& c, std::ostream* os) {
    *os << c.name;
}

class NamePatterns : public ::testing::TestWithParam<PatternCase> {};

TEST_P(NamePatterns, AreRefusedWithTheFault) {
    const PatternCase& c = GetParam();
    const PatternCheck check = CheckPattern(c.pattern);
    EXPECT_EQ(check.problem, c.problem);
    EXPECT_EQ(check.ok(), c.problem == PatternProblem::None);
    EXPECT_EQ(check.offset, c.offset);
    EXPECT_EQ(check.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Archive, NamePatterns,
    ::testing::Values(
        PatternCase{"Default", std::string(kDefaultPattern), PatternProblem::None, 0, ""},
        PatternCase{"EveryField", "{label}{date}{time}{serial}{drive}", PatternProblem::None, 0,
                    ""},
        PatternCase{"NoField", "backup", PatternProblem::None, 0, ""},
        PatternCase{"UnknownField", "{label} {lable}", PatternProblem::UnknownField, 8, "{lable}"},
        PatternCase{"FieldNamesAreLowerCase", "{Date}", PatternProblem::UnknownField, 0, "{Date}"},
        PatternCase{"EmptyField", "a{}", PatternProblem::UnknownField, 1, "{}"},
        PatternCase{"Unclosed", "{label} {date", PatternProblem::UnclosedBrace, 8, "{"},
        PatternCase{"Nested", "{la{bel}", PatternProblem::UnclosedBrace, 0, "{"},
        PatternCase{"StrayClosing", "{label}}", PatternProblem::StrayClosingBrace, 7, "}"}),
    [](const auto& info) { return std::string(info.param.name); });

struct UniqueCase {
    const char* name;
    DiscResult result;
    std::set<std::string> taken;
    std::optional<std::string> expected;
    bool everyNameTaken = false;
    std::string base = "X";
};

void PrintTo(const UniqueCase& c, std::ostream* os) {
    *os << c.name;
}

class FinalBagNames : public ::testing::TestWithParam<UniqueCase> {};

TEST_P(FinalBagNames, AreFreeAndMarkWhatIsIncomplete) {
    const UniqueCase& c = GetParam();
    const NameTaken taken = [&](const std::string& name) {
        return c.everyNameTaken || c.taken.contains(name);
    };
    EXPECT_EQ(FinalBagName(c.base, c.result, taken), c.expected);
    if (c.result == DiscResult::Complete) {
        EXPECT_EQ(UniqueBagName(c.base, taken), c.expected);
    }
    // An incomplete bag is published under that name at the first try, never the plain one.
    if (c.result == DiscResult::Complete || !c.expected) return;
    std::vector<std::string> tried;
    const Publishing published = PublishBag(c.base, c.result, taken, [&](const std::string& name) {
        tried.push_back(name);
        return taken(name) ? Published::NameTaken : Published::Done;
    });
    EXPECT_EQ(published.answer, Published::Done);
    EXPECT_EQ(tried, std::vector<std::string>{*c.expected});
}

INSTANTIATE_TEST_SUITE_P(
    Archive, FinalBagNames,
    ::testing::Values(
        UniqueCase{"Free", DiscResult::Complete, {}, "X"},
        UniqueCase{"Taken", DiscResult::Complete, {"X"}, "X (2)"},
        UniqueCase{"TakenTwice", DiscResult::Complete, {"X", "X (2)"}, "X (3)"},
        UniqueCase{"GapIsUsed", DiscResult::Complete, {"X", "X (3)"}, "X (2)"},
        UniqueCase{"IncompleteBagIsNotTheName", DiscResult::Complete, {"X (incomplete)"}, "X"},
        UniqueCase{"Incomplete", DiscResult::Incomplete, {"X"}, "X (incomplete)"},
        UniqueCase{"IncompleteNumberBeforeMarker",
                   DiscResult::Incomplete,
                   {"X (incomplete)", "X (2) (incomplete)"},
                   "X (3) (incomplete)"},
        UniqueCase{"TargetFullIsIncomplete", DiscResult::TargetFull, {}, "X (incomplete)"},
        UniqueCase{"FailedIsIncomplete", DiscResult::Failed, {}, "X (incomplete)"},
        UniqueCase{"EveryNumberTaken", DiscResult::Complete, {}, std::nullopt, true},
        // The log is written after the first bag: the file system does not know its name yet.
        UniqueCase{"TheLogsNameBeforeTheLogIsThere",
                   DiscResult::Complete,
                   {},
                   "archive-log.csv (2)",
                   false,
                   "archive-log.csv"},
        UniqueCase{"TheLogsNameInOtherLetterCase",
                   DiscResult::Complete,
                   {},
                   "Archive-Log.CSV (2)",
                   false,
                   "Archive-Log.CSV"},
        UniqueCase{"ThePagesName", DiscResult::Complete, {}, "INDEX.html (2)", false, "INDEX.html"},
        UniqueCase{"ANameLongerThanTheLogs",
                   DiscResult::Complete,
                   {},
                   "archive-log.csv.old",
                   false,
                   "archive-log.csv.old"},
        UniqueCase{"TheTemporaryPrefixNever",
                   DiscResult::Complete,
                   {},
                   std::nullopt,
                   false,
                   ".dravolin-1.part"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::archive

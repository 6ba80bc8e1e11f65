// What a bag's tag files say about names and times: every BagIt reader (RFC 8493, bagit-python,
// `sha256sum -c`) must read one name alike, and the files must be UTF-8 whatever the disc holds;
// and the fields a user adds to bag-info.txt, taken whole or refused whole.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "archive/BagText.h"
#include "archive/UserFields.h"
#include "archive/Utf8Names.h"

namespace dravolin::archive {
namespace {

struct PathCase {
    const char* name;
    std::string relative;
    std::string manifest;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

class ManifestPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(ManifestPaths, ReadAlikeByEveryReaderAndStayUtf8) {
    const PathCase& c = GetParam();
    const std::string path = ManifestPath(c.relative);
    EXPECT_EQ(path, c.manifest);
    EXPECT_TRUE(IsUtf8(path));
}

INSTANTIATE_TEST_SUITE_P(
    Archive, ManifestPaths,
    ::testing::Values(PathCase{"Plain", "photos/2019/a b.jpg", "data/files/photos/2019/a b.jpg"},
                      PathCase{"PercentAloneStaysRaw", "100%.txt", "data/files/100%.txt"},
                      PathCase{"PercentBeforeOneHexDigit", "x%4", "data/files/x%4"},
                      PathCase{"PercentAtTheEnd", "50%", "data/files/50%"},
                      PathCase{"PercentBeforeNonHex", "50%off", "data/files/50%off"},
                      PathCase{"PercentBeforeTwoHexDigits", "a%0Ab%ff", "data/files/a%250Ab%25ff"},
                      PathCase{"LineBreaks", "line\nbreak\r", "data/files/line%0Abreak%0D"},
                      PathCase{"PercentBeforeLineBreak", "%\n", "data/files/%%0A"},
                      PathCase{"Utf8StaysAsItIs", "caf\xC3\xA9/\xF0\x9F\x93\x80",
                               "data/files/caf\xC3\xA9/\xF0\x9F\x93\x80"},
                      PathCase{"Latin1Byte", "caf\xE9.txt", "data/files/caf%E9.txt"},
                      PathCase{"Surrogate", "a\xED\xA0\x80", "data/files/a%ED%A0%80"},
                      PathCase{"Overlong", "\xC0\xAF", "data/files/%C0%AF"},
                      PathCase{"CutSequence", "\xE2\x82", "data/files/%E2%82"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BagInfo, IsUtf8AndWritesItsTimesInOneForm) {
    BagEnd end;
    end.ended = LocalTime{2026, 12, 8, 14, 3, 11, 0};
    const std::string info = BagInfo(
        BagInfoFields("PHOTOS \xE9t\xE9", {{"Dravolin-Started", IsoText(end.ended)}}, {}, {}, end));
    EXPECT_TRUE(IsUtf8(info)) << info;
    EXPECT_NE(info.find("\nExternal-Identifier: PHOTOS \xEF\xBF\xBDt\xEF\xBF\xBD\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("\nDravolin-Started: 2026-12-08T14:03:11+00:00\n"), std::string::npos);
    EXPECT_NE(info.find("\nDravolin-Ended: 2026-12-08T14:03:11+00:00\n"), std::string::npos)
        << info;
}

struct StoredCase {
    const char* name;
    std::vector<std::string> names, stored;
};

void PrintTo(const StoredCase& c, std::ostream* os) {
    *os << c.name;
}

class StoredNames : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredNames, AreUtf8AndDistinct) {
    EXPECT_EQ(StoredUtf8Names(GetParam().names), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Archive, StoredNames,
    ::testing::Values(
        StoredCase{"Utf8Kept", {"a", "caf\xC3\xA9"}, {"a", "caf\xC3\xA9"}},
        StoredCase{"InvalidBytesReplaced", {"caf\xE9.txt"}, {"caf\xEF\xBF\xBD.txt"}},
        StoredCase{"ClashesNumberedAndKeptNamesFirst",
                   {"caf\xE9.txt", "caf\xE8.txt", "caf\xEF\xBF\xBD.txt"},
                   {"caf\xEF\xBF\xBD (2).txt", "caf\xEF\xBF\xBD (3).txt", "caf\xEF\xBF\xBD.txt"}},
        StoredCase{
            "DotNameHasNoExtension", {".\xE9", ".\xE8"}, {".\xEF\xBF\xBD", ".\xEF\xBF\xBD (2)"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct UserFieldsCase {
    const char* name;
    std::string text;
    InfoFields fields;
    UserFieldsProblem problem = UserFieldsProblem::None;
    std::size_t line = 0;
    std::string label = {};
};

void PrintTo(const UserFieldsCase& c, std::ostream* os) {
    *os << c.name;
}

class UserFieldsFile : public ::testing::TestWithParam<UserFieldsCase> {};

TEST_P(UserFieldsFile, IsTakenWholeOrRefusedAtItsFirstFault) {
    const UserFieldsCase& c = GetParam();
    const UserFields read = ReadUserFields(c.text);
    EXPECT_EQ(read.problem, c.problem);
    EXPECT_EQ(read.line, c.line);
    EXPECT_EQ(read.label, c.label);
    EXPECT_EQ(read.fields, c.fields);
}

using P = UserFieldsProblem;

INSTANTIATE_TEST_SUITE_P(
    Archive, UserFieldsFile,
    ::testing::Values(
        UserFieldsCase{"ProfileWithNotesContinuationsAndRepeats",
                       "\xEF\xBB\xBF# for the profile of the city archive\r\n"
                       "Source-Organization: City Archive \r\n"
                       "Contact-Email:\ta@example.org\r\n"
                       "\r\n"
                       "External-Description: Photographs of the\n"
                       "\t river, 1950\xE2\x80\x93\n"
                       "   1960  \n"
                       "Contact Email Alt: x\r"
                       "Contact-Email: b@example.org",
                       {{"Source-Organization", "City Archive"},
                        {"Contact-Email", "a@example.org"},
                        {"External-Description", "Photographs of the river, 1950\xE2\x80\x93 1960"},
                        {"Contact Email Alt", "x"},
                        {"Contact-Email", "b@example.org"}}},
        UserFieldsCase{"EmptyGivesNone", "", {}},
        UserFieldsCase{"AtTheLimit", "#" + std::string(kMaxUserFieldsBytes - 1, 'x'), {}},
        UserFieldsCase{
            "BeyondTheLimit", std::string(kMaxUserFieldsBytes + 1, '#'), {}, P::TooLarge},
        UserFieldsCase{"Latin1Value", "A: 1\nContact-Name: Jos\xE9\n", {}, P::NotText, 2},
        UserFieldsCase{"ControlCharacter", "A: 1\n\nB: \x1B[31m\n", {}, P::NotText, 3},
        UserFieldsCase{"Prose", "A: 1\nthis is prose\n", {}, P::NotAField, 2},
        UserFieldsCase{"NoBlankAfterTheColon", "A:1\n", {}, P::NotAField, 1},
        UserFieldsCase{"NoLabel", ": 1\n", {}, P::NotAField, 1},
        UserFieldsCase{"LabelEndsInABlank", "A : 1\n", {}, P::NotAField, 1},
        UserFieldsCase{"NoValue", "A: 1\nB: \n  continued\n", {}, P::NotAField, 2},
        UserFieldsCase{"ContinuesNothing", "# note\n  continued\n", {}, P::NotAField, 2},
        UserFieldsCase{
            "PayloadOxum", "A: 1\npayload-OXUM: 1.1\n", {}, P::OwnLabel, 2, "payload-OXUM"},
        UserFieldsCase{
            "BaggingDate", "Bagging-Date: 2026-01-01\n", {}, P::OwnLabel, 1, "Bagging-Date"},
        UserFieldsCase{"ExternalIdentifier",
                       "External-Identifier: x\n",
                       {},
                       P::OwnLabel,
                       1,
                       "External-Identifier"},
        UserFieldsCase{"BagSize", "Bag-Size: 1 GB\n", {}, P::OwnLabel, 1, "Bag-Size"},
        UserFieldsCase{"TheProgramsOwn",
                       "dravolin-Disc-Identity: 00\n",
                       {},
                       P::OwnLabel,
                       1,
                       "dravolin-Disc-Identity"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::archive

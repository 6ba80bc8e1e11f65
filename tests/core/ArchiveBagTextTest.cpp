// What a bag's tag files say about names and times: every BagIt reader (RFC 8493, bagit-python,
// `sha256sum -c`) must read one name alike, and the files must be UTF-8 whatever the disc holds.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "archive/BagText.h"
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

}  // namespace
}  // namespace dravolin::archive

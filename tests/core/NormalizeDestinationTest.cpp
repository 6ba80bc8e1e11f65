#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include <vector>
#include "platform/fake/FakePlatform.h"
#include "target/NormalizeDestination.h"
#include "tests/core/TargetFixture.h"

namespace dravolin {
namespace {

struct NormalizeCase {
    const char* name;
    std::string input;
    bool accepted;
    std::string result;  // `path` afterwards, also on rejection
};

void PrintTo(const NormalizeCase& c, std::ostream* os) {
    *os << c.name;
}

class NormalizeWithoutPreparation : public ::testing::TestWithParam<NormalizeCase> {
  protected:
    fake::FakePlatform platform;
};

TEST_P(NormalizeWithoutPreparation, GivesTheExpectedPathAndNeverTouchesTheFileSystem) {
    const NormalizeCase& c = GetParam();
    std::string path = c.input;
    EXPECT_EQ(NormalizeDestination(path, platform.codePage, *platform.machine, 0x1001, false),
              c.accepted);
    EXPECT_EQ(path, c.result);
    EXPECT_TRUE(platform.log.Matching("SHPathPrepareForWriteA").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Trimming, NormalizeWithoutPreparation,
    ::testing::Values(
        NormalizeCase{"BlanksAndSlashesAround", "  C:\\Data\\Discs//  ", true, "C:\\Data\\Discs\\"},
        NormalizeCase{"DriveWithoutBackslash", "C:", true, "C:\\"},
        NormalizeCase{"DriveRoot", "C:\\", true, "C:\\"},
        NormalizeCase{"InnerForwardSlashesStay", "C:/Data/CD", true, "C:/Data/CD\\"},
        NormalizeCase{"UncShare", "\\\\server\\share\\\\", true, "\\\\server\\share\\"},
        NormalizeCase{"BlankBeforeTrailingSeparatorStays", "C:\\Dir \\", true, "C:\\Dir \\"},
        NormalizeCase{"OnlyTheFinalSlashIsTrailing", "\\ /", true, "\\ \\"},
        NormalizeCase{"MixedTrailingRun", "C:\\x\\/\\//", true, "C:\\x\\"},
        NormalizeCase{"WhitespaceAfterSeparators", "C:\\x\\/ \t", true, "C:\\x\\"},
        NormalizeCase{"ControlWhitespaceAtBothEnds", "\t\r\nC:\\x\v\f\r\n", true, "C:\\x\\"},
        NormalizeCase{"InnerWhitespaceStays", "C:\\My  Discs\tX", true, "C:\\My  Discs\tX\\"},
        NormalizeCase{"NonBreakingSpaceAtEndIsText", "C:\\x\xA0", true, "C:\\x\xA0\\"},
        NormalizeCase{"NonBreakingSpaceAtStartIsText",
                      "\xA0"
                      "C:\\x",
                      true,
                      "\xA0"
                      "C:\\x\\"},
        NormalizeCase{"ColonIsAllowed", "C:\\a:b", true, "C:\\a:b\\"},
        NormalizeCase{"RelativePathIsAccepted", "Discs", true, "Discs\\"},
        NormalizeCase{"LeadingSeparatorsStay", "//srv/x", true, "//srv/x\\"},
        NormalizeCase{"NoLengthLimit", std::string(300, 'a'), true, std::string(300, 'a') + "\\"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Emptiness, NormalizeWithoutPreparation,
                         ::testing::Values(NormalizeCase{"Empty", "", false, ""},
                                           NormalizeCase{"BlanksOnly", "   ", false, ""},
                                           NormalizeCase{"TabsAndNewLines", "\t\n\r", false, ""},
                                           NormalizeCase{"LoneBackslash", "\\", false, ""},
                                           NormalizeCase{"TwoForwardSlashes", "//", false, ""},
                                           NormalizeCase{"BlankBackslashSlashBlank", " \\/ ", false,
                                                         ""}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Forbidden, NormalizeWithoutPreparation,
    ::testing::Values(NormalizeCase{"QuestionMark", "  C:\\a?b\\  ", false, "C:\\a?b"},
                      NormalizeCase{"Asterisk", "C:\\*", false, "C:\\*"},
                      NormalizeCase{"LessThan", "<C:\\x", false, "<C:\\x"},
                      NormalizeCase{"GreaterThan", "C:\\x>y//", false, "C:\\x>y"},
                      NormalizeCase{"VerticalBar", " C:\\x|y ", false, "C:\\x|y"},
                      NormalizeCase{"DoubleQuote", "\"C:\\x\"", false, "\"C:\\x\""},
                      NormalizeCase{"ForbiddenBeforeBlanksAndSlashes", "x? \\", false, "x? "}),
    [](const auto& info) { return std::string(info.param.name); });

// A double-byte code page: 0x81 leads a two-byte character.
class NormalizeDoubleByte : public ::testing::TestWithParam<NormalizeCase> {
  protected:
    NormalizeDoubleByte() { platform.codePage.leadBytes = {0x81}; }
    fake::FakePlatform platform;
};

TEST_P(NormalizeDoubleByte, TreatsALeadByteAndItsSuccessorAsOneOrdinaryCharacter) {
    const NormalizeCase& c = GetParam();
    std::string path = c.input;
    EXPECT_EQ(NormalizeDestination(path, platform.codePage, *platform.machine, 0, false),
              c.accepted);
    EXPECT_EQ(path, c.result);
}

INSTANTIATE_TEST_SUITE_P(
    LeadBytes, NormalizeDoubleByte,
    ::testing::Values(
        NormalizeCase{"EndsInTrailByte5C", "C:\\\x81\x5C", true, "C:\\\x81\x5C"},
        NormalizeCase{"TrailByte5CThenSeparator", "C:\\\x81\x5C\\/", true, "C:\\\x81\x5C"},
        NormalizeCase{"TrailQuestionMarkIsNotForbidden", "C:\\\x81?", true, "C:\\\x81?\\"},
        NormalizeCase{"TrailBlankIsNotWhitespace", "C:\\\x81 ", true, "C:\\\x81 \\"},
        NormalizeCase{"TrailSlashIsNotSeparator", "C:\\\x81/", true, "C:\\\x81/\\"},
        NormalizeCase{"LeadingPairIsNotWhitespace", "\x81 C:", true, "\x81 C:\\"},
        NormalizeCase{"LoneLeadByteAtTheEnd", "C:\\d\x81", true, "C:\\d\x81\\"},
        NormalizeCase{"PairThenForbidden", "C:\\\x81\x81?", false, "C:\\\x81\x81?"},
        NormalizeCase{"TwoPairs", "C:\\\x81\x81\x81?", true, "C:\\\x81\x81\x81?\\"},
        NormalizeCase{"PairThenTrailingBlanks", "C:\\\x81\x5C  ", true, "C:\\\x81\x5C"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NormalizeSingleByte, TrimsAByteThatOnlyADoubleByteCodePageWouldPair) {
    fake::FakePlatform platform;  // no lead bytes
    std::string path = "C:\\\x81\x5C";
    EXPECT_TRUE(NormalizeDestination(path, platform.codePage, *platform.machine, 0, false));
    EXPECT_EQ(path, "C:\\\x81\\");
}

// Preparation through the fake machine's file system.
class NormalizePrepare : public ::testing::Test {
  protected:
    NormalizePrepare() { platform.machine->AddVolume('C'); }
    bool Normalize(std::string& path, bool prepare) {
        return NormalizeDestination(path, platform.codePage, *platform.machine, 0x1001, prepare);
    }
    fake::FakePlatform platform;
};

TEST_F(NormalizePrepare, CreatesAMissingFolder) {
    std::string path = " C:\\Discs\\New ";
    ASSERT_FALSE(platform.machine->FolderExists("C:\\Discs\\New"));
    EXPECT_TRUE(Normalize(path, true));
    EXPECT_EQ(path, "C:\\Discs\\New\\");
    EXPECT_TRUE(platform.machine->FolderExists("C:\\Discs\\New"));
}

TEST_F(NormalizePrepare, WithoutPreparationLeavesAMissingFolderMissing) {
    std::string path = "C:\\Discs\\New";
    EXPECT_TRUE(Normalize(path, false));
    EXPECT_FALSE(platform.machine->FolderExists("C:\\Discs\\New"));
}

TEST_F(NormalizePrepare, AcceptsAnExistingFolder) {
    platform.machine->AddFolder("C:\\Data");
    std::string path = "C:\\Data";
    EXPECT_TRUE(Normalize(path, true));
    EXPECT_EQ(path, "C:\\Data\\");
}

TEST_F(NormalizePrepare, RejectsAMissingDriveOnlyWhenPreparing) {
    std::string unprepared = "Q:\\Discs";
    EXPECT_TRUE(Normalize(unprepared, false));
    std::string prepared = "Q:\\Discs";
    EXPECT_FALSE(Normalize(prepared, true));
    // A failed preparation leaves the path fully normalised.
    EXPECT_EQ(prepared, "Q:\\Discs\\");
}

TEST_F(NormalizePrepare, HandsTheShellThePathWithItsBackslashAndTheOwner) {
    std::string path = "C:\\a:b";
    Normalize(path, true);
    EXPECT_EQ(platform.log.Matching("SHPathPrepareForWriteA"),
              std::vector<std::string>{"SHPathPrepareForWriteA 4097 C:\\a:b\\ 1"});
}

TEST_F(NormalizePrepare, NeverPreparesARejectedPath) {
    std::string path = "C:\\a*";
    EXPECT_FALSE(Normalize(path, true));
    EXPECT_TRUE(platform.log.Matching("SHPathPrepareForWriteA").empty());
}

class NormalizePrepareResult : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(NormalizePrepareResult, AcceptsOnlyExactlySOk) {
    fake::FakePlatform platform;
    platform.machine->AddVolume('C');
    platform.machine->SetPrepareResult(GetParam());
    std::string path = "C:\\Data";
    EXPECT_EQ(NormalizeDestination(path, platform.codePage, *platform.machine, 0, true),
              GetParam() == win::kSOk);
    EXPECT_EQ(path, "C:\\Data\\");
}

INSTANTIATE_TEST_SUITE_P(HResults, NormalizePrepareResult,
                         ::testing::Values(0, 1, 2, 0x7FFFFFFF,
                                           static_cast<std::int32_t>(0x80004005),
                                           static_cast<std::int32_t>(0x800704C7), -1));

// The dialog's overload: its code page, its preparer and its window as owner.
using NormalizeForDialog = TargetFixture;

TEST_F(NormalizeForDialog, UsesTheDialogWindowAsOwner) {
    platform.machine->AddVolume('D');
    std::string path = "D:\\Out";
    EXPECT_TRUE(NormalizeDestination(path, dialog, true));
    EXPECT_EQ(Log("SHPathPrepareForWriteA"),
              std::vector<std::string>{"SHPathPrepareForWriteA 4097 D:\\Out\\ 1"});
    EXPECT_TRUE(platform.machine->FolderExists("D:\\Out"));
}

TEST_F(NormalizeForDialog, UsesThePlatformCodePage) {
    platform.codePage.leadBytes = {0x81};
    std::string path = "D:\\\x81\x5C";
    EXPECT_TRUE(NormalizeDestination(path, dialog, false));
    EXPECT_EQ(path, "D:\\\x81\x5C");
}

}  // namespace
}  // namespace dravolin

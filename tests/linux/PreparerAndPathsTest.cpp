// Target folder preparation and the core's path forms.
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include "LinuxTestSupport.h"
#include "platform/linux/DrivePaths.h"
#include "platform/linux/LinuxPathPreparer.h"

namespace dravolin::lnx::test {
namespace {

TEST(PathPreparer, CreatesTheFolderAndItsParents) {
    TempFolder temp;
    LinuxPathPreparer preparer;
    const std::string folder = temp / "a/b/c";
    EXPECT_EQ(preparer.PrepareForWrite(0, folder + "\\", win::kShppfwDirCreate), win::kSOk);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(::access((folder + "\\").c_str(), F_OK), -1);
    EXPECT_EQ(preparer.LastError(), "");
    EXPECT_EQ(preparer.PrepareForWrite(0, folder + "\\", win::kShppfwDirCreate), win::kSOk);
}

TEST(PathPreparer, AFileInTheWayFailsWithAReason) {
    TempFolder temp;
    WriteFile(temp / "file", "x");
    LinuxPathPreparer preparer;
    const std::int32_t result =
        preparer.PrepareForWrite(0, temp / "file/sub\\", win::kShppfwDirCreate);
    EXPECT_LT(result, 0);
    EXPECT_EQ(static_cast<std::uint32_t>(result) & 0xFFFF0000u, 0x80070000u);
    EXPECT_NE(preparer.LastError().find("Not a directory"), std::string::npos)
        << preparer.LastError();
}

TEST(PathPreparer, AFolderThatCannotBeWrittenFails) {
    TempFolder temp;
    LinuxPathPreparer preparer;
    EXPECT_NE(preparer.PrepareForWrite(0, "/proc/dravolin\\", win::kShppfwDirCreate), win::kSOk);
    EXPECT_NE(preparer.LastError(), "");
    EXPECT_NE(preparer.PrepareForWrite(0, "\\", win::kShppfwDirCreate), win::kSOk);
    if (::geteuid() != 0) {  // root may write anywhere
        MakeFolder(temp / "locked");
        ::chmod((temp / "locked").c_str(), 0555);
        EXPECT_NE(preparer.PrepareForWrite(0, temp / "locked\\", win::kShppfwDirCreate), win::kSOk);
        EXPECT_NE(preparer.LastError().find("Permission denied"), std::string::npos);
    }
}

TEST(PathPreparer, WithoutTheCreateFlagAMissingFolderFails) {
    TempFolder temp;
    LinuxPathPreparer preparer;
    EXPECT_NE(preparer.PrepareForWrite(0, temp / "missing\\", 0), win::kSOk);
    EXPECT_EQ(::access((temp / "missing").c_str(), F_OK), -1);
}

struct LetterCase {
    std::optional<char> (*parse)(std::string_view);
    const char* path;
    std::optional<char> letter;
};

class Letters : public ::testing::TestWithParam<LetterCase> {};

TEST_P(Letters, AreReadFromExactlyTheirForm) {
    EXPECT_EQ(GetParam().parse(GetParam().path), GetParam().letter) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Letters,
    ::testing::Values(LetterCase{LetterOfDeviceRoot, "\\\\.\\E:\\", 'E'},
                      LetterCase{LetterOfDeviceRoot, "\\\\.\\e:\\", 'E'},
                      LetterCase{LetterOfDeviceRoot, "\\\\.\\E:", std::nullopt},
                      LetterCase{LetterOfDeviceRoot, "\\\\.\\1:\\", std::nullopt},
                      LetterCase{LetterOfDevicePath, "\\\\.\\Z:", 'Z'},
                      LetterCase{LetterOfDevicePath, "\\\\?\\Z:", std::nullopt},
                      LetterCase{LetterOfShellRoot, "D:\\", 'D'},
                      LetterCase{LetterOfShellRoot, "D:", std::nullopt},
                      LetterCase{LetterOfCopySource, "F:\\*.*", 'F'},
                      LetterCase{LetterOfCopySource, "F:\\*", std::nullopt}));

TEST(TargetPaths, OnlyTheCoresFinalBackslashIsRemoved) {
    EXPECT_EQ(FolderOfTarget("/home/u/discs\\"), "/home/u/discs");
    EXPECT_EQ(FolderOfTarget("/home/u/back\\slash\\"), "/home/u/back\\slash");
    EXPECT_EQ(FolderOfTarget("/home/u/discs"), "/home/u/discs");
    EXPECT_EQ(FolderOfTarget("\\"), "");
    EXPECT_EQ(FirstOfPathList(std::string("/a\\\0\0", 5)), "/a\\");
    EXPECT_EQ(FirstOfPathList("no terminator"), "no terminator");
}

}  // namespace
}  // namespace dravolin::lnx::test

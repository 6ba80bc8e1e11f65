// Target folder preparation and the core's path forms.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <optional>
#include "ChildProcess.h"
#include "LinuxTestSupport.h"
#include "platform/linux/drives/DrivePaths.h"
#include "platform/linux/paths/LinuxPathPreparer.h"
#include "platform/linux/paths/TargetPaths.h"

namespace dravolin::lnx::test {
namespace {

// Points $HOME elsewhere for the life of the object.
class HomeAt {
  public:
    explicit HomeAt(const std::string& home) {
        if (const char* old = std::getenv("HOME")) old_ = old;
        ::setenv("HOME", home.c_str(), 1);
    }
    ~HomeAt() {
        if (old_) {
            ::setenv("HOME", old_->c_str(), 1);
        } else {
            ::unsetenv("HOME");
        }
    }
    HomeAt(const HomeAt&) = delete;
    HomeAt& operator=(const HomeAt&) = delete;

  private:
    std::optional<std::string> old_;
};

// Makes another folder the working folder for the life of the object.
class WorkingFolderAt {
  public:
    explicit WorkingFolderAt(const std::string& folder) : old_(::get_current_dir_name()) {
        EXPECT_EQ(::chdir(folder.c_str()), 0);
    }
    ~WorkingFolderAt() {
        if (old_) {
            EXPECT_EQ(::chdir(old_), 0);
        }
        std::free(old_);
    }
    WorkingFolderAt(const WorkingFolderAt&) = delete;
    WorkingFolderAt& operator=(const WorkingFolderAt&) = delete;

  private:
    char* old_;
};

// HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)
constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005u);

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

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
    LinuxPathPreparer preparer;
    EXPECT_NE(preparer.PrepareForWrite(0, "/proc/dravolin\\", win::kShppfwDirCreate), win::kSOk);
    EXPECT_NE(preparer.LastError(), "");
}

// Root may write anywhere, and the tests run as root: the user's case runs in a child that has
// given up its privileges.
TEST(PathPreparer, AFolderTheUserMayNotWriteIsRefusedWithTheReason) {
    TempFolder temp;
    ASSERT_EQ(::chmod(temp.Path().c_str(), 0755), 0);  // the way in stays open to anyone
    MakeFolder(temp / "locked");
    MakeFolder(temp / "open");
    ASSERT_EQ(::chmod((temp / "locked").c_str(), 0555), 0);
    ASSERT_EQ(::chmod((temp / "open").c_str(), 0777), 0);

    const ChildResult child = RunInChild([&](std::string& message) {
        if (!BecomeUnprivileged(message)) return kChildCannot;
        LinuxPathPreparer preparer;
        struct Case {
            std::string path;
            std::int32_t result;
        };
        const Case cases[] = {{temp / "locked\\", kAccessDenied},
                              {temp / "locked/new/deeper\\", kAccessDenied},
                              {temp / "open/new\\", win::kSOk}};
        int wrong = 0;
        for (const Case& c : cases) {
            const std::int32_t result = preparer.PrepareForWrite(0, c.path, win::kShppfwDirCreate);
            message += c.path + " -> " + std::to_string(result) + " " + preparer.LastError() + "\n";
            const bool saysWhy =
                c.result == win::kSOk ||
                preparer.LastError().find("Permission denied") != std::string::npos;
            if (result != c.result || !saysWhy) ++wrong;
        }
        return wrong;
    });
    if (child.status == kChildCannot) GTEST_SKIP() << "cannot run unprivileged: " << child.message;
    EXPECT_EQ(child.status, 0) << child.message;
    EXPECT_EQ(::access((temp / "locked/new").c_str(), F_OK), -1);
    struct stat st {};
    EXPECT_EQ(::stat((temp / "open/new").c_str(), &st), 0);
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

// The core ends a target in its backslash; a Linux user writes "/", "~", "~name" and names
// relative to the home folder, and means no Linux folder by a Windows drive path or network name.
struct TargetCase {
    const char* target;
    const char* folder;  // "~" stands for the home folder, "~root" for root's; "" for none
    TargetRefusal refusal = TargetRefusal::None;
};

void PrintTo(const TargetCase& c, std::ostream* os) {
    *os << '"' << c.target << '"';
}

class TargetFolders : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetFolders, AreReadAsALinuxUserWritesThem) {
    const std::string home = "/home/u";
    HomeAt at(home);
    std::string expected = GetParam().folder;
    const passwd* root = ::getpwnam("root");
    ASSERT_TRUE(root && root->pw_dir);
    if (expected.starts_with("~root")) {
        expected = root->pw_dir + expected.substr(5);
    } else if (expected.starts_with('~')) {
        expected = home + expected.substr(1);
    }
    EXPECT_EQ(FolderOfTarget(GetParam().target), expected) << GetParam().target;
    EXPECT_EQ(RefusalOf(GetParam().target), GetParam().refusal) << GetParam().target;
}

constexpr auto kDrive = TargetRefusal::DrivePath;
constexpr auto kNetwork = TargetRefusal::NetworkName;
constexpr auto kNoUser = TargetRefusal::UnknownUser;

INSTANTIATE_TEST_SUITE_P(
    Table, TargetFolders,
    ::testing::Values(
        TargetCase{"/home/u/discs\\", "/home/u/discs"},
        TargetCase{"/home/u/discs/", "/home/u/discs"}, TargetCase{"/home/u/discs", "/home/u/discs"},
        // Every backslash is a separator, wherever it stands.
        TargetCase{"/home/u/discs\\batch2\\", "/home/u/discs/batch2"},
        TargetCase{"/home/u/discs\\/batch2\\", "/home/u/discs/batch2"}, TargetCase{"\\", "/"},
        TargetCase{"/", "/"}, TargetCase{"//srv/x\\", "/srv/x"},
        // The home folder, and names relative to it.
        TargetCase{"~", "~"}, TargetCase{"~\\", "~"}, TargetCase{"~/discs\\", "~/discs"},
        TargetCase{"~\\discs\\", "~/discs"}, TargetCase{"discs\\", "~/discs"},
        TargetCase{"a/b\\", "~/a/b"}, TargetCase{"a:b\\", "~/a:b"},
        TargetCase{"/tmp/~\\", "/tmp/~"}, TargetCase{"", ""},
        // Another user's home folder, and a user there is not.
        TargetCase{"~root\\", "~root"}, TargetCase{"~root\\discs\\", "~root/discs"},
        TargetCase{" ~root/discs ", "~root/discs"},
        TargetCase{"~no-such-user-dravolin\\", "", kNoUser},
        TargetCase{"~no-such-user-dravolin/x\\", "", kNoUser},
        // Windows paths: no Linux folder, neither at the root nor in the home folder.
        TargetCase{"\\\\server\\share\\x\\", "", kNetwork},
        TargetCase{"\\/server/share\\", "", kNetwork}, TargetCase{"\\\\?\\C:\\x\\", "", kNetwork},
        TargetCase{"C:\\Users\\me\\", "", kDrive}, TargetCase{"c:/x\\", "", kDrive},
        TargetCase{"  C:\\", "", kDrive}, TargetCase{"C:", "", kDrive}));

TEST(TargetPaths, BlanksAroundAreNotMovedIntoTheNameAndSeparatorsCollapse) {
    EXPECT_EQ(LinuxPathOf("  ~/d\\ ", "/h"), "  /h/d/ ");
    EXPECT_EQ(LocalPathOf("  /d\\ "), "/d");
    EXPECT_EQ(LinuxPathOf("/a\\\\b//c/\\", "/h"), "/a/b/c/");
    EXPECT_EQ(LinuxPathOf(" d", "/h/"), " /h/d");
    EXPECT_EQ(LinuxPathOf(" d", "/"), " /d");
    EXPECT_EQ(LinuxPathOf("   ", "/h"), "   ");
    EXPECT_EQ(LinuxPathOf("d", ""), "d") << "no home: nothing to put it under";
    EXPECT_EQ(FirstOfPathList(std::string("/a\\\0\0", 5)), "/a\\");
    EXPECT_EQ(FirstOfPathList("no terminator"), "no terminator");
}

TEST(TargetPaths, WithoutAHomeFolderARelativeTargetNamesNoFolder) {
    HomeAt at("relative");  // not a folder's path: the password database is asked instead
    EXPECT_TRUE(HomeFolder().empty() || HomeFolder().starts_with('/'));
    EXPECT_EQ(FolderOfTarget("discs\\"), HomeFolder().empty() ? "" : HomeFolder() + "/discs");
}

// What a Linux user would not mean as a folder is refused with its reason, and nothing is
// made for it: not in the home folder, not in the working folder, not at the root.
TEST(PathPreparer, RefusesWindowsPathsAndUnknownUsersMakingNothing) {
    TempFolder temp;
    TempFolder started;
    HomeAt at(temp.Path());
    WorkingFolderAt working(started.Path());
    ASSERT_NE(::access("/dravolin-server", F_OK), 0);
    struct Case {
        std::string target;
        TargetRefusal refusal;
        std::string shown;  // the target as the reason names it
    };
    const Case cases[] = {
        {"\\\\dravolin-server\\share\\x\\", TargetRefusal::NetworkName,
         "\\\\dravolin-server\\share\\x"},
        {"C:\\Users\\me\\", TargetRefusal::DrivePath, "C:\\Users\\me"},
        {"~no-such-user-dravolin\\x\\", TargetRefusal::UnknownUser, "~no-such-user-dravolin/x"}};
    LinuxPathPreparer preparer;
    for (const Case& c : cases) {
        EXPECT_EQ(preparer.PrepareForWrite(0, c.target, win::kShppfwDirCreate),
                  static_cast<std::int32_t>(0x800700A1u))
            << c.target;
        EXPECT_EQ(preparer.LastRefusal(), c.refusal) << c.target;
        EXPECT_EQ(preparer.LastError(), c.shown);
    }
    EXPECT_EQ(UserNameOf("~no-such-user-dravolin\\x\\"), "no-such-user-dravolin");
    EXPECT_TRUE(Snapshot(temp.Path()).empty());
    EXPECT_TRUE(Snapshot(started.Path()).empty());
    EXPECT_NE(::access("/dravolin-server", F_OK), 0) << "planted at the root";
    EXPECT_EQ(preparer.PrepareForWrite(0, temp / "ok\\", win::kShppfwDirCreate), win::kSOk);
    EXPECT_EQ(preparer.LastRefusal(), TargetRefusal::None);
}

TEST(PathPreparer, ARefusedFolderLeavesNoneOfTheLevelsItMade) {
    TempFolder temp;
    LinuxPathPreparer preparer;
    const std::string tooLong(300, 'n');
    EXPECT_NE(
        preparer.PrepareForWrite(0, temp / ("a/b/" + tooLong + "/c\\"), win::kShppfwDirCreate),
        win::kSOk);
    EXPECT_NE(preparer.LastError().find("File name too long"), std::string::npos)
        << preparer.LastError();
    EXPECT_TRUE(Snapshot(temp.Path()).empty());
}

TEST(PathPreparer, ReadsTheTargetAsALinuxUserWritesIt) {
    TempFolder temp;
    TempFolder started;
    HomeAt at(temp.Path());
    WorkingFolderAt working(started.Path());
    LinuxPathPreparer preparer;
    // What the core makes of "discs" extended by "\\batch2", "/batch3" and "~/x".
    for (const char* target :
         {"discs\\", "discs\\batch2\\", "discs\\/batch3\\", "~/x\\", "~\\y\\"}) {
        EXPECT_EQ(preparer.PrepareForWrite(0, target, win::kShppfwDirCreate), win::kSOk) << target;
    }
    EXPECT_TRUE(IsFolder(temp / "discs/batch2"));
    EXPECT_TRUE(IsFolder(temp / "discs/batch3"));
    EXPECT_TRUE(IsFolder(temp / "x"));
    EXPECT_TRUE(IsFolder(temp / "y"));
    EXPECT_EQ(Snapshot(temp.Path()).size(), 5u) << "no name holds a backslash, nothing else made";
    EXPECT_TRUE(Snapshot(started.Path()).empty()) << "nothing in the working folder";
}

}  // namespace
}  // namespace dravolin::lnx::test

// The copy engine on real trees: what arrives, byte for byte, and what never does.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/copy/SafeName.h"
#include "platform/linux/copy/TreeCopier.h"

namespace dravolin::lnx::test {
namespace {

class CopyTree : public ::testing::Test {
  protected:
    TreeCopier::Result CopyAll() {
        TreeCopier copier(io, prompts);
        return copier.Copy(source, target);
    }

    TempFolder temp;
    std::string source = temp / "disc";
    std::string target = temp / "target";
    std::string outside = temp / "outside";
    FaultyIo io;
    ScriptedPrompts prompts;

    void SetUp() override {
        MakeFolder(source);
        MakeFolder(outside);
    }
};

TEST_F(CopyTree, NestedFoldersAndManyFilesArriveByteForByte) {
    MakeFolder(source + "/a/b/c/d");
    MakeFolder(source + "/empty");
    WriteFile(source + "/a/b/c/d/deep.bin", Pattern(1 << 20 | 7, 1));
    WriteFile(source + "/zero.txt", "");
    const std::size_t sizes[] = {1, 4095, 4096, 4097, 65536, 300000};
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        WriteFile(source + "/a/size" + std::to_string(sizes[i]), Pattern(sizes[i], 10 + i));
    }
    MakeFolder(source + "/many");
    for (int i = 0; i < 600; ++i) {
        WriteFile(source + "/many/f" + std::to_string(i),
                  Pattern(static_cast<std::size_t>(i * 13), i));
    }

    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, CopyOutcome::Completed);
    EXPECT_EQ(result.summary, "");
    EXPECT_TRUE(Snapshot(target) == Snapshot(source));
    EXPECT_TRUE(TempLeftovers(target).empty());
    EXPECT_TRUE(prompts.failures.empty());
    ASSERT_FALSE(prompts.progress.empty());
    const CopyProgress& last = prompts.progress.back();
    EXPECT_EQ(last.filesTotal, 2u + std::size(sizes) + 600u);
    const auto firstCopying = std::find_if(prompts.progress.begin(), prompts.progress.end(),
                                           [](const CopyProgress& p) { return !p.scanning; });
    ASSERT_NE(firstCopying, prompts.progress.end());
    EXPECT_EQ(firstCopying->bytesTotal, last.bytesTotal);
}

TEST_F(CopyTree, TheBufferedPathCopiesAsExactlyAsTheKernelPath) {
    io.noKernelCopy = true;
    WriteFile(source + "/big.bin", Pattern(3 * (1 << 20) + 11, 5));
    WriteFile(source + "/small.bin", Pattern(100, 6));
    EXPECT_EQ(CopyAll().outcome, CopyOutcome::Completed);
    EXPECT_TRUE(Snapshot(target) == Snapshot(source));
}

TEST_F(CopyTree, ASparseFileKeepsItsBytesAndItsHoles) {
    const off_t size = 64LL << 20;
    {
        const int fd = ::open((source + "/sparse.img").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const std::string head = Pattern(5000, 1), middle = Pattern(70000, 2), tail = Pattern(3, 3);
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        ASSERT_EQ(::pwrite(fd, middle.data(), middle.size(), 20 << 20),
                  static_cast<ssize_t>(middle.size()));
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), size - 3), 3);
        ::close(fd);
    }
    WriteFile(source + "/trailing-hole.img", "");
    ASSERT_EQ(::truncate((source + "/trailing-hole.img").c_str(), 1 << 20), 0);

    EXPECT_EQ(CopyAll().outcome, CopyOutcome::Completed);

    EXPECT_TRUE(ReadFile(target + "/sparse.img") == ReadFile(source + "/sparse.img"));
    EXPECT_EQ(ReadFile(target + "/trailing-hole.img"), std::string(1 << 20, '\0'));
    struct stat st {};
    ASSERT_EQ(::stat((target + "/sparse.img").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_LT(st.st_blocks * 512, 4 << 20) << "holes were filled in";
}

TEST_F(CopyTree, LinksAreNeverFollowedNorCopied) {
    WriteFile(outside + "/secret", "not for the target");
    MakeFolder(outside + "/dir");
    WriteFile(outside + "/dir/inner", "nor this");
    WriteFile(source + "/real.txt", "real");
    ASSERT_EQ(::symlink((outside + "/secret").c_str(), (source + "/to-outside").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/dir").c_str(), (source + "/to-dir").c_str()), 0);
    ASSERT_EQ(::symlink("real.txt", (source + "/to-inside").c_str()), 0);

    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, CopyOutcome::Completed);
    const std::map<std::string, std::string> expected = {{"real.txt", "F:real"}};
    EXPECT_EQ(Snapshot(target), expected);
    EXPECT_NE(result.summary.find("3 symbolic links"), std::string::npos) << result.summary;
}

TEST_F(CopyTree, ALinkInTheTargetIsNeverWrittenThrough) {
    // The target already holds links named like the disc's folder and file.
    MakeFolder(target);
    MakeFolder(outside + "/victim-dir");
    WriteFile(outside + "/victim-file", "untouched");
    ASSERT_EQ(::symlink((outside + "/victim-dir").c_str(), (target + "/sub").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/victim-file").c_str(), (target + "/file").c_str()), 0);
    MakeFolder(source + "/sub");
    WriteFile(source + "/sub/x", "x");
    WriteFile(source + "/file", "from the disc");
    prompts.errorDefault = ErrorDecision::Skip;
    prompts.replaceDefault = ReplaceDecision::Replace;

    CopyAll();

    EXPECT_EQ(Snapshot(outside + "/victim-dir").size(), 0u);
    EXPECT_EQ(ReadFile(outside + "/victim-file"), "untouched");
    ASSERT_EQ(prompts.failures.size(), 1u);
    EXPECT_EQ(prompts.failures[0].errorNumber, ELOOP);
    EXPECT_EQ(prompts.failures[0].path, target + "/sub");
    // Replacing the file replaced the link itself, not what it pointed to.
    EXPECT_EQ(Snapshot(target).at("file"), "F:from the disc");
}

// The copy finds a folder again by name when it comes back to it from deep down, and as the
// files waiting for their flush are put in place. Someone replaces a target folder meanwhile:
// nothing may land in what now stands there, least of all through a link.
TEST_F(CopyTree, AFolderReplacedDuringTheCopyGetsNothing) {
    std::string chain = "/deep";
    for (int level = 0; level < 20; ++level) {
        chain += "/c" + std::to_string(level);
        MakeFolder(source + chain);
        WriteFile(source + chain + "/f", "deep file");
    }
    WriteFile(source + "/deep/zz-after", "after the deep folders");
    for (const bool byLink : {true, false}) {
        SCOPED_TRACE(byLink ? "a link to elsewhere" : "another folder");
        std::error_code ignored;
        std::filesystem::remove_all(target, ignored);
        std::filesystem::remove_all(temp / "moved", ignored);
        prompts.failures.clear();
        prompts.errorDefault = ErrorDecision::Skip;
        bool replaced = false;
        prompts.onProgress = [&](const CopyProgress& p) {
            if (!replaced && p.currentFile == chain.substr(1) + "/f") {
                replaced = true;
                EXPECT_EQ(::rename((target + "/deep").c_str(), (temp / "moved").c_str()), 0);
                if (byLink) {
                    EXPECT_EQ(::symlink(outside.c_str(), (target + "/deep").c_str()), 0);
                } else {
                    MakeFolder(target + "/deep");
                }
            }
            return true;
        };

        const TreeCopier::Result result = CopyAll();

        EXPECT_TRUE(replaced);
        EXPECT_EQ(result.outcome, CopyOutcome::Failed);
        EXPECT_FALSE(prompts.failures.empty());
        for (const CopyFailure& failure : prompts.failures) {
            EXPECT_EQ(failure.path.rfind(target + "/deep", 0), 0u) << failure.path;
        }
        EXPECT_TRUE(Snapshot(outside).empty());
        if (!byLink) {
            EXPECT_TRUE(Snapshot(target + "/deep").empty());
        }
    }
}

TEST_F(CopyTree, FifosDevicesAndSocketsAreLeftOut) {
    WriteFile(source + "/plain", "plain");
    ASSERT_EQ(::mkfifo((source + "/fifo").c_str(), 0644), 0);
    int specials = 1;
    if (::mknod((source + "/null").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0) ++specials;
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = source + "/sock";
    if (socketPath.size() < sizeof address.sun_path) {
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) ++specials;
    }
    ::close(sock);

    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, CopyOutcome::Completed);
    const std::map<std::string, std::string> expected = {{"plain", "F:plain"}};
    EXPECT_EQ(Snapshot(target), expected);
    EXPECT_NE(result.summary.find(std::to_string(specials) + " special files"), std::string::npos)
        << result.summary;
}

TEST_F(CopyTree, SetIdBitsAreDroppedAndTheOwnerMayWrite) {
    WriteFile(source + "/tool", "#!/bin/sh\n", 06755);
    WriteFile(source + "/readonly", "r", 0444);
    ASSERT_EQ(::chmod((source + "/tool").c_str(), 06755), 0);

    EXPECT_EQ(CopyAll().outcome, CopyOutcome::Completed);

    struct stat tool {
    }, readonly{};
    ASSERT_EQ(::stat((target + "/tool").c_str(), &tool), 0);
    ASSERT_EQ(::stat((target + "/readonly").c_str(), &readonly), 0);
    EXPECT_EQ(tool.st_mode & (S_ISUID | S_ISGID | S_ISVTX), 0u);
    EXPECT_NE(tool.st_mode & S_IXUSR, 0u);
    EXPECT_NE(readonly.st_mode & S_IWUSR, 0u);
}

TEST_F(CopyTree, TheModificationTimeTravelsWithTheFile) {
    WriteFile(source + "/old", "old");
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (source + "/old").c_str(), times, 0), 0);
    CopyAll();
    struct stat st {};
    ASSERT_EQ(::stat((target + "/old").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(CopyTree, AMissingTargetFolderIsCreatedWithItsParents) {
    WriteFile(source + "/f", "f");
    target = temp / "new/deeper/target";
    EXPECT_EQ(CopyAll().outcome, CopyOutcome::Completed);
    EXPECT_EQ(ReadFile(target + "/f"), "f");
}

struct NameCase {
    const char* name;
    std::size_t length;
    bool safe;
};

class EntryNames : public ::testing::TestWithParam<NameCase> {};

// Only single components, and none of the copy's own temporary names.
TEST_P(EntryNames, OnlySingleComponentsPass) {
    const NameCase& c = GetParam();
    EXPECT_EQ(IsSafeEntryName(std::string_view(c.name, c.length)), c.safe);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryNames,
    ::testing::Values(NameCase{"file.txt", 8, true}, NameCase{"..hidden", 8, true},
                      NameCase{"back\\slash", 10, true}, NameCase{"", 0, false},
                      NameCase{".", 1, false}, NameCase{"..", 2, false}, NameCase{"a/b", 3, false},
                      NameCase{"/", 1, false}, NameCase{"../up", 5, false},
                      NameCase{"nul\0byte", 8, false}, NameCase{".dravolin-.part", 15, false},
                      NameCase{".dravolin-0123456789abcdef-0123456789abcdef-"
                               "4026531836-1234-5678-0123456789abcdef.part",
                               86, false},
                      NameCase{"dravolin-x.part", 15, true},
                      NameCase{".dravolin-x.parts", 17, true}));

}  // namespace
}  // namespace dravolin::lnx::test

// Folders found again by name: never through a link, only while they are the same folder, with
// few descriptors however deep the walk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/copy/FolderChain.h"

namespace dravolin::lnx::test {
namespace {

FileId IdOfPath(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return IdOf(st);
}

class FoldersByName : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeFolder(temp / "root/a/b");
        MakeFolder(temp / "elsewhere/b");
        ASSERT_EQ(::symlink((temp / "elsewhere").c_str(), (temp / "root/link").c_str()), 0);
        root.Reset(::open((temp / "root").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(root);
    }
    TempFolder temp;
    UniqueFd root;
};

TEST_F(FoldersByName, OpenOnlyTheSameFolderAndNeverThroughALink) {
    const FileId b = IdOfPath(temp / "root/a/b");
    const UniqueFd opened = OpenFolderBelow(root.Get(), "a/b", b);
    ASSERT_TRUE(opened);
    EXPECT_EQ(PathOfFd(opened.Get()), temp / "root/a/b");
    EXPECT_TRUE(OpenFolderBelow(root.Get(), "", IdOfPath(temp / "root")));

    errno = 0;
    EXPECT_FALSE(OpenFolderBelow(root.Get(), "a", b));
    EXPECT_EQ(errno, ESTALE);
    EXPECT_FALSE(OpenFolderBelow(root.Get(), "link/b", IdOfPath(temp / "elsewhere/b")));
    EXPECT_FALSE(OpenFolderBelow(root.Get(), "link", IdOfPath(temp / "elsewhere")));

    // The way without openat2, for kernels and sandboxes that lack it.
    EXPECT_EQ(PathOfFd(OpenFolderStepwise(root.Get(), "a/b").Get()), temp / "root/a/b");
    EXPECT_FALSE(OpenFolderStepwise(root.Get(), "link/b"));
    EXPECT_FALSE(OpenFolderStepwise(root.Get(), "link"));
}

TEST_F(FoldersByName, ADeepWalkHoldsFewDescriptorsAndComesBackToTheSameFolders) {
    std::string path = temp / "root";
    std::vector<FileId> ids = {IdOfPath(path)};
    for (int level = 0; level < 60; ++level) {
        path += "/d" + std::to_string(level);
        MakeFolder(path);
        ids.push_back(IdOfPath(path));
    }
    const std::size_t before = OpenDescriptors();
    FolderChain chain(root.Get(), ids[0]);
    for (int level = 0; level < 60; ++level) {
        ASSERT_EQ(chain.Enter("d" + std::to_string(level), &ids[level + 1]), 0) << level;
        EXPECT_LE(OpenDescriptors(), before + 16);
    }
    EXPECT_EQ(chain.Depth(), 60u);
    EXPECT_TRUE(chain.OnPath(ids[0]));
    EXPECT_TRUE(chain.OnPath(ids[30]));
    for (int level = 59; level >= 0; --level) {
        chain.Leave();
        const int fd = chain.Fd();
        ASSERT_GE(fd, 0) << level;
        struct stat st {};
        ASSERT_EQ(::fstat(fd, &st), 0);
        EXPECT_EQ(IdOf(st), ids[level]) << level;
        EXPECT_LE(OpenDescriptors(), before + 16);
    }
    EXPECT_EQ(chain.Depth(), 0u);

    // A folder replaced while the walk was below it is not taken for the old one.
    FolderChain again(root.Get(), ids[0]);
    for (int level = 0; level < 20; ++level) {
        ASSERT_EQ(again.Enter("d" + std::to_string(level), &ids[level + 1]), 0);
    }
    ASSERT_EQ(::rename((temp / "root/d0").c_str(), (temp / "moved").c_str()), 0);
    MakeFolder(temp / "root/d0/d1/d2");
    for (int level = 19; level >= 1; --level) again.Leave();
    errno = 0;
    EXPECT_LT(again.Fd(), 0);
    EXPECT_TRUE(errno == ESTALE || errno == ENOENT) << errno;
    EXPECT_NE(again.Enter("d0", &ids[1]), 0);
}

}  // namespace
}  // namespace dravolin::lnx::test

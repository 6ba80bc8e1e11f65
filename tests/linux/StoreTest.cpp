// The per-user store's file: where it is, how it is written, what happens to damaged files.
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <thread>
#include "LinuxTestSupport.h"
#include "platform/linux/LinuxRegistry.h"
#include "platform/linux/StoreFile.h"
#include "platform/linux/StoreFormat.h"

namespace dravolin::lnx::test {
namespace {

std::vector<StoreRecord> SampleRecords() {
    return {
        {0x80000001u, "Software\\Dravolin", "Destination00", 1, "/home/u/discs\\"},
        {0x80000001u, "Software\\Dravolin", "Destination01", 1, std::string("a\0b\xff", 4)},
        {0x80000001u, "Software\\Other", "Empty", 3, ""},
        {0x80000002u, "", "", 4, std::string(300, 'x')},
    };
}

class StoreFiles : public ::testing::Test {
  protected:
    TempFolder temp;
    std::string folder = temp / "config/dravolin";
};

TEST_F(StoreFiles, TheFirstWriteCreatesTheFolderAndAPrivateFile) {
    StoreFile file(folder);
    ASSERT_EQ(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(file.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
    EXPECT_EQ(file.Load().records.size(), 1u);
}

TEST_F(StoreFiles, AWriteReplacesTheFileAtomicallyAndLeavesNoTemporaryFile) {
    StoreFile file(folder);
    ASSERT_EQ(file.Update([](auto& r) { SetRecord(r, {1, "k", "a", 1, "1"}); }), 0);
    struct stat before {};
    ASSERT_EQ(::stat(file.Path().c_str(), &before), 0);
    ASSERT_EQ(file.Update([](auto& r) { SetRecord(r, {1, "k", "b", 1, "2"}); }), 0);
    struct stat after {};
    ASSERT_EQ(::stat(file.Path().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "written in place, not renamed over";
    const auto entries = Snapshot(folder);
    for (const auto& [name, content] : entries) {
        EXPECT_TRUE(name == "store" || name == "store.lock") << name;
    }
    EXPECT_EQ(file.Load().records.size(), 2u);
}

TEST_F(StoreFiles, ADamagedFileIsKeptAsBackupBeforeItIsRewritten) {
    MakeFolder(folder);
    std::string bytes = SerializeStore(SampleRecords());
    bytes += "trailing garbage";
    WriteFile(folder + "/store", bytes, 0600);
    StoreFile file(folder);
    EXPECT_EQ(file.Load().records.size(), SampleRecords().size());  // loads what it can

    ASSERT_EQ(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);

    EXPECT_EQ(ReadFile(folder + "/store.bak"), bytes);
    const ParsedStore now = file.Load();
    EXPECT_FALSE(now.damaged);
    EXPECT_EQ(now.records.size(), SampleRecords().size() + 1);
}

TEST_F(StoreFiles, AnUnreadableFileIsNeverOverwritten) {
    MakeFolder(folder);
    MakeFolder(folder + "/store");  // a folder where the file should be: cannot be read
    StoreFile file(folder);
    EXPECT_NE(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);
    EXPECT_EQ(Snapshot(folder).at("store"), "D");
}

TEST_F(StoreFiles, TwoWritersAtOnceLoseNothing) {
    constexpr int kEach = 40;
    auto writer = [&](int who) {
        LinuxRegistry registry(folder);  // each its own instance, as two programs would be
        for (int i = 0; i < kEach; ++i) {
            const std::string name = "W" + std::to_string(who) + "-" + std::to_string(i);
            ASSERT_EQ(registry.SetValue(win::RootKey::CurrentUser, "Software\\Dravolin", name,
                                        win::kRegSz, name),
                      0);
        }
    };
    std::thread a(writer, 0), b(writer, 1);
    a.join();
    b.join();
    const ParsedStore parsed = StoreFile(folder).Load();
    EXPECT_FALSE(parsed.damaged);
    EXPECT_EQ(parsed.records.size(), 2u * kEach);
}

TEST(StoreFolder, FollowsXdgConfigHomeOnlyWhenAbsolute) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/x/conf", 1);
    EXPECT_EQ(StoreFile::DefaultFolder(), "/x/conf/dravolin");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(StoreFile::DefaultFolder(), home + "/.config/dravolin");
    }
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

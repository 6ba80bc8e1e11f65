// The per-user store's file: where it is, how it is written, what happens to damaged files.
#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include "LinuxTestSupport.h"
#include "platform/linux/LinuxRegistry.h"
#include "platform/linux/StoreFile.h"
#include "platform/linux/StoreFormat.h"

namespace dravolin::lnx::test {
namespace {

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

// A damaged store of its own: the sample records, then garbage naming `version`.
std::string DamagedStore(const std::string& version) {
    return SerializeStore(SampleStoreRecords()) + "garbage of " + version;
}

TEST_F(StoreFiles, ADamagedFileIsKeptAsBackupBeforeItIsRewritten) {
    MakeFolder(folder);
    const std::string bytes = DamagedStore("one");
    WriteFile(folder + "/store", bytes, 0600);
    StoreFile file(folder);
    EXPECT_EQ(file.Load().records.size(), SampleStoreRecords().size());  // loads what it can

    ASSERT_EQ(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);

    EXPECT_EQ(ReadFile(folder + "/store.bak.1"), bytes);
    const ParsedStore now = file.Load();
    EXPECT_FALSE(now.damaged);
    EXPECT_EQ(now.records.size(), SampleStoreRecords().size() + 1);
}

TEST_F(StoreFiles, TheLastThreeDamagedVersionsAreKeptUnderNamesOfTheirOwn) {
    MakeFolder(folder);
    StoreFile file(folder);
    const std::vector<std::string> versions = {"A", "B", "C", "D", "E"};
    for (std::size_t v = 0; v < versions.size(); ++v) {
        WriteFile(folder + "/store", DamagedStore(versions[v]), 0600);
        ASSERT_EQ(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);
        for (std::size_t back = 1; back <= 3; ++back) {
            const std::string backup = folder + "/store.bak." + std::to_string(back);
            if (back > v + 1) {
                EXPECT_FALSE(Snapshot(folder).count("store.bak." + std::to_string(back)));
            } else {
                EXPECT_EQ(ReadFile(backup), DamagedStore(versions[v + 1 - back]))
                    << "after version " << versions[v] << ", backup " << back;
            }
        }
    }
    EXPECT_FALSE(Snapshot(folder).count("store.bak.4"));
}

TEST_F(StoreFiles, AFailedRewriteKeepsNoSecondCopyOfTheSameDamage) {
    MakeFolder(folder);
    StoreFile file(folder);
    WriteFile(folder + "/store", DamagedStore("old"), 0600);
    ASSERT_EQ(file.Update([](auto&) {}), 0);
    WriteFile(folder + "/store", DamagedStore("new"), 0600);
    // Twice a rewrite that fails once the damaged file is kept: no file can grow.
    const int status = RunChild([&] {
        const rlimit none{0, RLIM_INFINITY};
        ::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &none) != 0) return 2;
        StoreFile child(folder);
        const int first = child.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); });
        const int second = child.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); });
        return first == EFBIG && second == EFBIG ? 0 : 1;
    });
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ReadFile(folder + "/store"), DamagedStore("new"));
    EXPECT_EQ(ReadFile(folder + "/store.bak.1"), DamagedStore("new"));
    EXPECT_EQ(ReadFile(folder + "/store.bak.2"), DamagedStore("old"));
    EXPECT_FALSE(Snapshot(folder).count("store.bak.3"));
}

TEST_F(StoreFiles, AnUnreadableFileIsNeverOverwritten) {
    MakeFolder(folder);
    MakeFolder(folder + "/store");  // a folder where the file should be: cannot be read
    StoreFile file(folder);
    EXPECT_NE(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);
    EXPECT_EQ(Snapshot(folder).at("store"), "D");
}

// A store kept elsewhere through symbolic links, as dotfile managers do: `links` are made
// under the temporary folder (a text "@" stands for that folder's path), and the store
// lands in `target`.
struct LinkCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // where, what it says
    std::string target;
    bool targetExists;
    friend void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.what; }
};

class StoreLinks : public ::testing::TestWithParam<LinkCase> {
  protected:
    TempFolder temp;
    std::string folder = temp / "config/dravolin";
};

std::string LinkText(const std::string& path) {
    char text[4096];
    const ssize_t n = ::readlink(path.c_str(), text, sizeof text);
    return n < 0 ? std::string() : std::string(text, static_cast<std::size_t>(n));
}

TEST_P(StoreLinks, AreFollowedForReadingAndWritingAndStayLinks) {
    const LinkCase& c = GetParam();
    MakeFolder(folder);
    MakeFolder(temp / "dotfiles");
    std::vector<std::pair<std::string, std::string>> links;
    for (auto [where, text] : c.links) {
        if (text.front() == '@') text = temp.Path() + text.substr(1);
        ASSERT_EQ(::symlink(text.c_str(), (temp / where).c_str()), 0) << where;
        links.emplace_back(where, text);
    }
    std::vector<StoreRecord> expected;
    if (c.targetExists) {
        expected = SampleStoreRecords();
        WriteFile(temp / c.target, SerializeStore(expected), 0600);
    }
    StoreFile file(folder);
    EXPECT_EQ(file.Load().records, expected);

    const StoreRecord added{1, "k", "n", 1, "v"};
    ASSERT_EQ(file.Update([&](auto& r) { SetRecord(r, added); }), 0);

    expected.push_back(added);
    const std::string written = ReadFile(temp / c.target);
    EXPECT_EQ(
        ParseStore({reinterpret_cast<const std::uint8_t*>(written.data()), written.size()}).records,
        expected);
    EXPECT_EQ(file.Load().records, expected);
    for (const auto& [where, text] : links) EXPECT_EQ(LinkText(temp / where), text) << where;
    for (const auto& [name, content] : Snapshot(temp.Path())) {
        EXPECT_EQ(name.find(".store-"), std::string::npos) << "left behind: " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoreLinks,
    ::testing::Values(
        LinkCase{"Relative",
                 {{"config/dravolin/store", "../../dotfiles/store"}},
                 "dotfiles/store",
                 true},
        LinkCase{
            "Absolute", {{"config/dravolin/store", "@/dotfiles/store"}}, "dotfiles/store", true},
        LinkCase{
            "Chain",
            {{"config/dravolin/store", "../../dotfiles/link"}, {"dotfiles/link", "dravolin-store"}},
            "dotfiles/dravolin-store",
            true},
        LinkCase{"ToAFileNotYetMade",
                 {{"config/dravolin/store", "../../dotfiles/store"}},
                 "dotfiles/store",
                 false}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(StoreFiles, ADamagedFileBehindALinkIsKeptBesideIt) {
    MakeFolder(folder);
    MakeFolder(temp / "dotfiles");
    WriteFile(temp / "dotfiles/store", DamagedStore("linked"), 0600);
    ASSERT_EQ(::symlink("../../dotfiles/store", (folder + "/store").c_str()), 0);
    ASSERT_EQ(StoreFile(folder).Update([](auto&) {}), 0);
    EXPECT_EQ(ReadFile(temp / "dotfiles/store.bak.1"), DamagedStore("linked"));
    EXPECT_EQ(LinkText(folder + "/store"), "../../dotfiles/store");
}

TEST_F(StoreFiles, LinksInALoopAreAnErrorAndStayAsTheyAre) {
    MakeFolder(folder);
    ASSERT_EQ(::symlink("other", (folder + "/store").c_str()), 0);
    ASSERT_EQ(::symlink("store", (folder + "/other").c_str()), 0);
    StoreFile file(folder);
    EXPECT_TRUE(file.Load().records.empty());
    EXPECT_EQ(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), ELOOP);
    EXPECT_EQ(LinkText(folder + "/store"), "other");
    EXPECT_EQ(LinkText(folder + "/other"), "store");
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
            ASSERT_EQ(registry.Flush(), 0);
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

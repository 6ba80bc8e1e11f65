// The per-user store's file: where it is, how it is written, what happens to damaged files.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include "ChildProcess.h"
#include "LinuxTestSupport.h"
#include "platform/linux/io/FileLocks.h"
#include "platform/linux/store/LinuxRegistry.h"
#include "platform/linux/store/StoreFile.h"
#include "platform/linux/store/StoreFormat.h"
#include "platform/linux/io/UniqueFd.h"

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

// A damaged store as `make` writes it at a path: the records `readable` gives can be read from
// it, and whatever else it holds cannot.
struct DamageCase {
    const char* what;
    void (*make)(const std::string& path);
    std::vector<StoreRecord> (*readable)();
    // The rewrite runs as a user who may not link the store (another user's file): the backup
    // is a copy.
    bool withoutLinks;
    friend void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.what; }
};

void GarbageAtTheEnd(const std::string& path) {
    WriteFile(path, DamagedStore("one"), 0644);
}

// Small enough for a quick test; the program's is 64 MiB.
constexpr std::size_t kTestCap = 256 << 10;

// Clean records that fill the cap to its last byte: nothing in them tells of a cut.
std::vector<StoreRecord> UpToTheCap() {
    std::vector<StoreRecord> records = SampleStoreRecords();
    records.push_back({1, "k", "padding", 3, ""});
    const std::size_t size = SerializeStore(records).size();
    records.back().data.assign(kTestCap - size, 'p');
    return records;
}

// Then a record past the cap, which no reader reaches.
void PastTheSizeCap(const std::string& path) {
    const std::string late = SerializeStore({{1, "k", "late", 1, "past the cap"}}).substr(8);
    WriteFile(path, SerializeStore(UpToTheCap()) + late, 0644);
}

class DamagedStores : public StoreFiles, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedStores, AreKeptWholeAsBackupBeforeTheRewrite) {
    const DamageCase& c = GetParam();
    MakeFolder(folder);
    // Open to the user a child may become; the store stays root's.
    for (const std::string& open : {temp.Path(), temp / "config"}) ::chmod(open.c_str(), 0755);
    ::chmod(folder.c_str(), 0777);
    c.make(folder + "/store");
    const std::string bytes = ReadFile(folder + "/store");
    StoreFile file(folder, kTestCap);
    const ParsedStore before = file.Load();
    EXPECT_TRUE(before.damaged);
    EXPECT_EQ(before.records, c.readable()) << "loads what it can";

    const StoreRecord added{1, "k", "n", 1, "v"};
    const ChildResult child = RunInChild([&](std::string& message) {
        if (c.withoutLinks) {
            if (!BecomeUnprivileged(message)) return kChildCannot;
            if (::link((folder + "/store").c_str(), (folder + "/probe").c_str()) == 0) {
                message = "links to another user's file are allowed here";
                return kChildCannot;
            }
        }
        std::string keptAs;
        const int error =
            StoreFile(folder, kTestCap).Update([&](auto& r) { SetRecord(r, added); }, &keptAs);
        message = std::to_string(error) + " kept as " + keptAs;
        return error == 0 && keptAs == folder + "/store.bak.1" ? 0 : 1;
    });
    if (child.status == kChildCannot) GTEST_SKIP() << child.message;
    ASSERT_EQ(child.status, 0) << child.message;

    const std::string kept = ReadFile(folder + "/store.bak.1");
    EXPECT_EQ(kept.size(), bytes.size());
    EXPECT_TRUE(kept == bytes) << "the backup is not the whole damaged file";
    const ParsedStore now = StoreFile(folder).Load();  // the added record passes the small cap
    EXPECT_FALSE(now.damaged);
    std::vector<StoreRecord> expected = c.readable();
    expected.push_back(added);
    EXPECT_EQ(now.records, expected);
    for (const auto& [name, content] : Snapshot(folder)) {
        EXPECT_TRUE(name == "store" || name == "store.lock" || name == "store.bak.1") << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedStores,
    ::testing::Values(DamageCase{"GarbageAtTheEnd", GarbageAtTheEnd, SampleStoreRecords, false},
                      DamageCase{"PastTheSizeCap", PastTheSizeCap, UpToTheCap, false},
                      DamageCase{"PastTheSizeCapWithoutLinks", PastTheSizeCap, UpToTheCap, true}),
    [](const auto& info) { return std::string(info.param.what); });

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

// A damaged store another user owns (no link to it can be made) on a disk without room for a
// copy: the rewrite fails, now and at every retry, and the older backups stay as they were.
TEST_F(StoreFiles, ABackupThatCannotBeMadeLeavesTheOlderOnes) {
    MakeFolder(folder);
    for (const std::string& open : {temp.Path(), temp / "config"}) ::chmod(open.c_str(), 0755);
    ::chmod(folder.c_str(), 0777);
    WriteFile(folder + "/store", DamagedStore("new"), 0644);
    const std::vector<std::string> older = {"one", "two", "three"};
    for (std::size_t i = 0; i < older.size(); ++i) {
        WriteFile(folder + "/store.bak." + std::to_string(i + 1), DamagedStore(older[i]), 0644);
    }
    const ChildResult child = RunInChild([&](std::string& message) {
        if (!BecomeUnprivileged(message)) return kChildCannot;
        if (::link((folder + "/store").c_str(), (folder + "/probe").c_str()) == 0) {
            message = "links to another user's file are allowed here";
            return kChildCannot;
        }
        const rlimit full{8, RLIM_INFINITY};
        ::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &full) != 0) return 2;
        StoreFile file(folder);
        for (int attempt = 0; attempt < 2; ++attempt) {  // the write, then a retry
            const int error = file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); });
            message += std::to_string(error) + " ";
            if (error != EFBIG) return 1;
        }
        return 0;
    });
    if (child.status == kChildCannot) GTEST_SKIP() << child.message;
    ASSERT_EQ(child.status, 0) << child.message;
    EXPECT_EQ(ReadFile(folder + "/store"), DamagedStore("new"));
    for (std::size_t i = 0; i < older.size(); ++i) {
        EXPECT_EQ(ReadFile(folder + "/store.bak." + std::to_string(i + 1)), DamagedStore(older[i]))
            << "backup " << i + 1;
    }
    for (const auto& [name, content] : Snapshot(folder)) {
        const bool backup = name.starts_with("store.bak.") && name.size() == 11;
        EXPECT_TRUE(name == "store" || name == "store.lock" || backup) << "left behind: " << name;
    }
}

TEST_F(StoreFiles, AnUnreadableFileIsNeverOverwritten) {
    MakeFolder(folder);
    MakeFolder(folder + "/store");  // a folder where the file should be: cannot be read
    StoreFile file(folder);
    EXPECT_NE(file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);
    EXPECT_EQ(Snapshot(folder).at("store"), "D");
}

// What writers of the store left beside it, each under a name of its own: the next save removes
// what a writer provably abandoned, and nothing else.
TEST_F(StoreFiles, TheNextSaveRemovesWhatKilledWritersLeftAndNothingElse) {
    MakeFolder(folder);
    const UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folderFd);
    // A writer killed while it wrote: its lock went with it.
    ASSERT_EQ(RunChild([&] {
                  int error = 0;
                  const UniqueFd fd =
                      CreateLockedFile(folderFd.Get(), ".store-1.tmp", O_WRONLY, 0600, error);
                  if (!fd || ::write(fd.Get(), "half", 4) != 4) return 1;
                  ::raise(SIGKILL);
                  return 2;
              }),
              128 + SIGKILL);
    // One that is still at work, here.
    int error = 0;
    const UniqueFd live = CreateLockedFile(folderFd.Get(), ".store-2.tmp", O_WRONLY, 0600, error);
    ASSERT_TRUE(live) << error;
    struct Leftover {
        std::string name;
        bool goes;
    };
    const Leftover leftovers[] = {{".store-1.tmp", true},  {".store-2.tmp", false},
                                  {".store-3.tmp", true},   // an older writer's, never locked
                                  {".store-4.tmp", false},  // a pipe
                                  {".store-x.tmp", false},  // not a name the store writes
                                  {"store-5.tmp", false}};
    WriteFile(folder + "/.store-3.tmp", "old", 0600);
    ASSERT_EQ(::mkfifo((folder + "/.store-4.tmp").c_str(), 0600), 0);
    WriteFile(folder + "/.store-x.tmp", "x", 0600);
    WriteFile(folder + "/store-5.tmp", "5", 0600);

    ASSERT_EQ(StoreFile(folder).Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); }), 0);
    const auto now = Snapshot(folder);
    for (const Leftover& leftover : leftovers) {
        EXPECT_EQ(now.count(leftover.name), leftover.goes ? 0u : 1u) << leftover.name;
    }
    EXPECT_EQ(StoreFile(folder).Load().records.size(), 1u);
}

// Something else than a regular file at the store's place, made by `make` in the store's
// folder: the program must neither wait on it nor read it nor replace it.
struct NotAFileCase {
    const char* what;
    void (*make)(const std::string& folder);
    friend void PrintTo(const NotAFileCase& c, std::ostream* out) { *out << c.what; }
};

class NotAFile : public StoreFiles, public ::testing::WithParamInterface<NotAFileCase> {};

TEST_P(NotAFile, IsNeitherWaitedOnNorReadNorReplaced) {
    MakeFolder(folder);
    GetParam().make(folder);
    if (IsSkipped()) return;
    const auto before = Snapshot(temp.Path());
    // In a child that a timer ends: a load that waits must fail the test, not hang it.
    const int status = RunChild([&] {
        ::alarm(20);
        StoreFile file(folder);
        if (!file.Load().records.empty()) return 1;
        const int error = file.Update([](auto& r) { SetRecord(r, {1, "k", "n", 1, "v"}); });
        return error == kStoreNotAFile ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    auto after = Snapshot(temp.Path());
    after.erase("config/dravolin/store.lock");
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NotAFile,
    ::testing::Values(NotAFileCase{"Pipe",
                                   [](const std::string& folder) {
                                       ASSERT_EQ(::mkfifo((folder + "/store").c_str(), 0600), 0);
                                   }},
                      NotAFileCase{"LinkToAPipe",
                                   [](const std::string& folder) {
                                       ASSERT_EQ(::mkfifo((folder + "/pipe").c_str(), 0600), 0);
                                       ASSERT_EQ(::symlink("pipe", (folder + "/store").c_str()), 0);
                                   }},
                      // A device of its own, not the machine's /dev/zero: a program that went wrong
                      // would replace what the link leads to, as root.
                      NotAFileCase{"LinkToADevice",
                                   [](const std::string& folder) {
                                       struct statvfs volume {};
                                       if (::statvfs(folder.c_str(), &volume) != 0 ||
                                           (volume.f_flag & ST_NODEV) != 0 ||
                                           ::mknod((folder + "/zero").c_str(), S_IFCHR | 0666,
                                                   makedev(1, 5)) != 0) {
                                           GTEST_SKIP() << "no device can be made and opened here";
                                       }
                                       ASSERT_EQ(::symlink("zero", (folder + "/store").c_str()), 0);
                                   }}),
    [](const auto& info) { return std::string(info.param.what); });

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

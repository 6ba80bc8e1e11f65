// Bags on the real file system: what a finished bag holds and checks, and what an interrupted
// one never looks like.
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include "BagTestSupport.h"
#include "LinuxTestSupport.h"
#include "archive/Utf8Names.h"
#include "platform/linux/archive/BagWriter.h"
#include "platform/linux/copy/TempFiles.h"

namespace dravolin::lnx::test {
namespace {

namespace fs = std::filesystem;

BagRequest RequestFor(const std::string& disc, const std::string& target) {
    return BagRequest{disc,
                      target,
                      "PHOTOS_2019",
                      {{"Dravolin-Drive", "HL-DT-ST DVDRAM GH24NSD1"},
                       {"Dravolin-Drive-Serial", "K1234"},
                       {"Dravolin-Fingerprint", "1a2b3c4d"},
                       {"Dravolin-Started", "2026-12-08T10:00:00+01:00"}}};
}

// A small disc: nested folders, an empty file and an empty folder.
void MakeDisc(const std::string& disc) {
    MakeFolder(disc + "/photos/2019");
    MakeFolder(disc + "/empty");
    WriteFile(disc + "/readme.txt", "hello\n");
    WriteFile(disc + "/zero", "");
    WriteFile(disc + "/photos/2019/one.jpg", Pattern(70000, 1));
    WriteFile(disc + "/photos/two.jpg", Pattern(300000, 2));
}

struct BagCase {
    const char* title;
    std::vector<std::string> oddNames;  // more files, named so
    std::vector<ByteRange> unreadable;  // of photos/two.jpg
    bool entriesVanish;  // readme.txt and photos/2019 go from the disc once it has been read
    BagResult result;
    std::uint64_t files, damagedCount;
    std::string damagedFiles;                 // damaged-files.txt; empty: no such file
    std::vector<std::string> manifestPaths;   // found in the manifest as written
    bool sha256sumChecksManifest;             // as a whole, with `sha256sum -c`
    std::vector<std::string> infoLines = {};  // found in bag-info.txt
};

void PrintTo(const BagCase& c, std::ostream* out) {
    *out << c.title;
}

class FinishedBags : public ::testing::TestWithParam<BagCase> {};

TEST_P(FinishedBags, CheckWithSha256sumAndNameEveryDamagedRange) {
    const BagCase& c = GetParam();
    TempFolder temp;
    const std::string disc = temp / "disc", target = temp / "bags";
    MakeDisc(disc);
    for (const std::string& name : c.oddNames) WriteFile(disc + "/" + name, "odd " + name);
    MakeFolder(target + "/Disc");
    WriteFile(target + "/Disc/earlier", "an earlier bag");
    StepIo io;
    io.failReadsOf = "two.jpg";
    io.unreadable = c.unreadable;
    ScriptedPrompts prompts;
    prompts.onProgress = [&](const CopyProgress& progress) {
        if (c.entriesVanish && !progress.scanning) {
            fs::remove(disc + "/readme.txt");
            fs::remove_all(disc + "/photos/2019");
        }
        return true;
    };

    BagWriter writer(io, prompts);
    const BagOutcome outcome = writer.Build(RequestFor(disc, target));
    ASSERT_EQ(outcome.result, c.result);
    EXPECT_EQ(writer.Publish("Disc"), BagWriter::Published::NameTaken);
    ASSERT_EQ(writer.Publish("Disc (2)"), BagWriter::Published::Done);

    const std::string bag = target + "/Disc (2)";
    EXPECT_TRUE(prompts.failures.empty() && prompts.replaceQuestions.empty());
    EXPECT_EQ(ReadFile(target + "/Disc/earlier"), "an earlier bag");
    EXPECT_EQ(EntriesOf(target), (std::vector<std::string>{"Disc", "Disc (2)"}));
    EXPECT_TRUE(BagChecks(bag, false));
    EXPECT_EQ(Sha256sumAccepts(bag, "manifest-sha256.txt"), c.sha256sumChecksManifest);
    // bagit-python decodes only %0A and %0D: a name with '%' before two hexadecimal digits is
    // the one it reads apart from RFC 8493 (the manual pages say so); every other bag it reads.
    const bool percentBeforeHex = std::any_of(c.oddNames.begin(), c.oddNames.end(), [](auto& n) {
        return std::regex_search(n, std::regex("%[0-9A-Fa-f]{2}"));
    });
    EXPECT_EQ(BagitPythonValidates(bag), !percentBeforeHex);
    EXPECT_EQ(ReadFile(bag + "/bagit.txt"),
              "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n");
    const std::string manifest = ReadFile(bag + "/manifest-sha256.txt");
    for (const std::string& path : c.manifestPaths) {
        EXPECT_NE(manifest.find("  " + path + "\n"), std::string::npos) << path;
    }
    for (const char* tag : {"bagit.txt", "manifest-sha256.txt", "bag-info.txt", "damaged-files.txt",
                            "tagmanifest-sha256.txt"}) {
        EXPECT_TRUE(archive::IsUtf8(ReadFile(bag + "/" + tag))) << tag;
    }
    const std::string info = ReadFile(bag + "/bag-info.txt");
    for (const std::string& line : c.infoLines) {
        EXPECT_NE(info.find("\n" + line + "\n"), std::string::npos) << line << "\n" << info;
    }
    EXPECT_EQ(info.rfind("Bagging-Date: ", 0), 0u);
    for (const char* line :
         {"\nExternal-Identifier: PHOTOS_2019\n", "\nDravolin-Drive-Serial: K1234\n",
          "\nDravolin-Fingerprint: 1a2b3c4d\n",
          "\nDravolin-Started: 2026-12-08T10:00:00+01:00\n"}) {
        EXPECT_NE(info.find(line), std::string::npos) << line;
    }
    const bool damaged = !c.damagedFiles.empty();
    EXPECT_NE(info.find(std::string("\nDravolin-Result: ") + (damaged ? "incomplete" : "complete") +
                        "\nDravolin-Damaged-Files: " + std::to_string(c.damagedCount) + "\n"),
              std::string::npos)
        << info;
    EXPECT_EQ(outcome.damagedFiles, c.damagedCount);
    EXPECT_EQ(outcome.files, c.files + c.oddNames.size());
    EXPECT_EQ(fs::exists(bag + "/damaged-files.txt"), damaged);
    if (damaged) {
        EXPECT_EQ(ReadFile(bag + "/damaged-files.txt"), c.damagedFiles);
    }
    EXPECT_FALSE(fs::exists(bag + "/" + kBagLockName));
    EXPECT_TRUE(TempLeftovers(target).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FinishedBags,
    ::testing::Values(
        BagCase{"Complete",
                {},
                {},
                false,
                BagResult::Complete,
                4,
                0,
                "",
                {"data/files/readme.txt", "data/files/zero", "data/files/photos/2019/one.jpg"},
                true},
        BagCase{
            "DamagedIsIncompleteWithItsRanges",
            {},
            {{204800, 206848}, {299008, 300000}},
            false,
            BagResult::Incomplete,
            4,
            1,
            "data/files/photos/two.jpg 196608-229376\ndata/files/photos/two.jpg 294912-300000\n",
            {"data/files/photos/two.jpg"},
            true},
        BagCase{
            "UnreadableEntriesAreListedAndTheRestCopied",
            {},
            {},
            true,
            BagResult::Incomplete,
            2,
            2,
            "data/files/photos/2019/one.jpg not copied: Cannot open photos/2019/one.jpg: No such "
            "file or directory\n"
            "data/files/readme.txt not copied: Cannot open readme.txt: No such file or directory\n",
            {"data/files/zero", "data/files/photos/two.jpg"},
            true},
        BagCase{"OddNamesPercentEncoded",
                {"line\nbreak", "carriage\rreturn", "100%", "a%0Ab"},
                {},
                false,
                BagResult::Complete,
                4,
                0,
                "",
                {"data/files/line%0Abreak", "data/files/carriage%0Dreturn", "data/files/100%",
                 "data/files/a%250Ab"},
                false},
        // bagit-python decodes only %0A and %0D, sha256sum nothing: a '%' before anything but
        // two hexadecimal digits stays as it is, and all of them read the same name.
        BagCase{"PercentSignsEveryReaderReadsAlike",
                {"100%.txt", "50%off", "%"},
                {},
                false,
                BagResult::Complete,
                4,
                0,
                "",
                {"data/files/100%.txt", "data/files/50%off", "data/files/%"},
                true},
        // A Latin-1 Rock Ridge name: stored under a UTF-8 one, the original recorded.
        BagCase{"NamesThatAreNotUtf8StoredUnderUtf8Names",
                {"caf\xE9.txt", "caf\xE8.txt"},
                {},
                false,
                BagResult::Complete,
                4,
                0,
                "",
                {"data/files/caf\xEF\xBF\xBD.txt", "data/files/caf\xEF\xBF\xBD (2).txt"},
                true,
                {"Dravolin-Renamed: data/files/caf\xEF\xBF\xBD (2).txt <- data/files/caf%E9.txt",
                 "Dravolin-Renamed: data/files/caf\xEF\xBF\xBD.txt <- data/files/caf%E8.txt"}}),
    [](const auto& info) { return info.param.title; });

struct StepCase {
    const char* title;
    Step step;  // Step::Any with `progress`: the progress calls
    bool progress = false;
};

void PrintTo(const StepCase& c, std::ostream* out) {
    *out << c.title;
}

class InterruptedBags : public ::testing::TestWithParam<StepCase> {};

// Whatever step fails, the target holds either the finished bag, checking in full, or nothing
// that is not hidden; and nothing at all once the writer is gone.
TEST_P(InterruptedBags, FailingAtEveryStepNeverLeavesACompleteLookingBag) {
    const StepCase& c = GetParam();
    TempFolder temp(MemoryFolder());
    const std::string disc = temp / "disc";
    MakeDisc(disc);
    int steps = 0;
    {
        StepIo io;
        ScriptedPrompts prompts;
        prompts.onProgress = [&](const CopyProgress&) { return ++steps, true; };
        BagWriter writer(io, prompts);
        ASSERT_EQ(writer.Build(RequestFor(disc, temp / "reference")).result, BagResult::Complete);
        ASSERT_EQ(writer.Publish("Disc"), BagWriter::Published::Done);
        if (!c.progress) steps = io.Count(c.step);
    }
    ASSERT_GT(steps, 0);
    int failed = 0;
    for (int at = 1; at <= steps; ++at) {
        SCOPED_TRACE("failing call " + std::to_string(at));
        const std::string target = temp / ("bags" + std::to_string(at));
        StepIo io;
        ScriptedPrompts prompts;
        int calls = 0;
        if (c.progress) {
            prompts.onProgress = [&](const CopyProgress&) { return ++calls != at; };
        } else {
            io.kind = c.step;
            io.at = at;
        }
        {
            BagWriter writer(io, prompts);
            if (writer.Build(RequestFor(disc, target)).result != BagResult::Failed) {
                writer.Publish("Disc");
            }
            for (const std::string& name : EntriesOf(target)) {
                EXPECT_TRUE(name == "Disc" || name[0] == '.') << name;
            }
        }
        // A flush failing after the rename fails the bag too, but the bag stands whole.
        const std::vector<std::string> left = EntriesOf(target);
        if (left.empty()) {
            ++failed;
        } else {
            EXPECT_EQ(left, std::vector<std::string>{"Disc"});
            EXPECT_TRUE(BagChecks(target + "/Disc"));
        }
        EXPECT_TRUE(prompts.failures.empty());
    }
    EXPECT_GT(failed, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, InterruptedBags,
                         ::testing::Values(StepCase{"Write", Step::Write},
                                           StepCase{"DataSync", Step::DataSync},
                                           StepCase{"SyncFileSystem", Step::SyncFs},
                                           StepCase{"Rename", Step::Rename},
                                           StepCase{"Cancel", Step::Any, true}),
                         [](const auto& info) { return info.param.title; });

// A disc that reads too slowly, or a target disk that fills up, ends the bag with what was
// written by then: incomplete, and checking in full.
TEST(StoppedBags, EndIncompleteWithWhatTheyHold) {
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "target full" : "time budget spent");
        TempFolder temp;
        const std::string disc = temp / "disc", target = temp / "bags";
        MakeDisc(disc);
        StepIo io;
        ScriptedPrompts prompts;
        BagRequest request = RequestFor(disc, target);
        if (full) {
            io.kind = Step::Write;
            io.at = 3;  // bagit.txt, one file, then the disk is full
            io.error = ENOSPC;
        } else {
            request.readUntil = std::chrono::steady_clock::now();
        }

        BagWriter writer(io, prompts);
        const BagOutcome outcome = writer.Build(request);
        ASSERT_EQ(outcome.result, BagResult::Incomplete);
        EXPECT_EQ(outcome.budgetSpent, !full);
        EXPECT_EQ(outcome.targetFull, full);
        EXPECT_EQ(outcome.files, full ? 1u : 0u);
        EXPECT_EQ(outcome.damagedFiles, 0u);
        ASSERT_EQ(writer.Publish("Disc (incomplete)"), BagWriter::Published::Done);
        const std::string bag = target + "/Disc (incomplete)";
        EXPECT_TRUE(BagChecks(bag));
        const std::string info = ReadFile(bag + "/bag-info.txt");
        EXPECT_NE(info.find("\nDravolin-Result: incomplete\n"), std::string::npos) << info;
        EXPECT_NE(info.find("\nDravolin-Stopped: "), std::string::npos) << info;
    }
}

// The target's own ways of failing a bag, with what the disc does meanwhile.
class TargetIo : public FaultyIo {
  public:
    int payloadFlushFailures = 0;    // the payload's flushes (and the first syncfs) fail: ENOSPC
    std::string failingFolderFlush;  // this folder's flush fails
    std::function<void(int folder)> beforeRename;
    std::string growsOnRead;  // a disc file that gets longer once its first read is done

    ssize_t Read(int fd, void* buffer, std::size_t length, off_t offset) override {
        const ssize_t n = FaultyIo::Read(fd, buffer, length, offset);
        const std::string path = PathOfFd(fd);
        if (!growsOnRead.empty() && path.ends_with("/" + growsOnRead)) {
            growsOnRead.clear();
            std::ofstream(path, std::ios::app) << "more";
        }
        return n;
    }
    int DataSync(int fd) override {
        const std::string path = PathOfFd(fd);
        if (payloadFlushFailures > 0 && path.find("/data/") != std::string::npos) {
            --payloadFlushFailures;
            errno = ENOSPC;
            return -1;
        }
        if (!failingFolderFlush.empty() && path == failingFolderFlush) {
            errno = EIO;
            return -1;
        }
        return FaultyIo::DataSync(fd);
    }
    int SyncFileSystem(int fd) override {
        if (payloadFlushFailures > 0) {
            errno = ENOSPC;
            return -1;
        }
        return FaultyIo::SyncFileSystem(fd);
    }
    int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) override {
        if (beforeRename) beforeRename(fromDir);
        return FaultyIo::RenameNoReplace(fromDir, from, toDir, to);
    }
};

struct TargetCase {
    const char* title;
    // Sets up the disc, the target folder (which the bag's folder is made in) and the faults.
    std::function<void(const std::string& disc, const std::string& target, TargetIo& io)> setUp;
    bool smallDisk;  // the target is a small tmpfs the disc does not fit in
    BagResult result;
    bool targetFull;
    std::string notCopied;  // found in damaged-files.txt; empty: no such file
};

void PrintTo(const TargetCase& c, std::ostream* out) {
    *out << c.title;
}

// What is wrong with the bag of `disc` made in `target`; empty when nothing is.
std::string BagProblems(const TargetCase& c, const std::string& disc, const std::string& target) {
    TargetIo io;
    c.setUp(disc, target, io);
    ScriptedPrompts prompts;
    BagWriter writer(io, prompts);
    const BagOutcome outcome = writer.Build(RequestFor(disc, target));
    std::string problems;
    const auto expect = [&](bool ok, const std::string& what) {
        if (!ok) problems += what + "; ";
    };
    expect(outcome.result == c.result, "result " + std::to_string(int(outcome.result)));
    expect(outcome.targetFull == c.targetFull, "targetFull " + std::to_string(outcome.targetFull));
    if (outcome.result == BagResult::Failed) return problems;
    expect(writer.Publish("Disc") == BagWriter::Published::Done, "not published");
    const std::string bag = target + "/Disc";
    expect(EntriesOf(target) == std::vector<std::string>{"Disc"}, "more than the bag in target");
    if (const ::testing::AssertionResult checks = BagChecks(bag); !checks) {
        problems += std::string(checks.message()) + "; ";
    }
    const bool complete = c.result == BagResult::Complete;
    expect(ReadFile(bag + "/bag-info.txt")
                   .find(std::string("\nDravolin-Result: ") +
                         (complete ? "complete" : "incomplete") + "\n") != std::string::npos,
           "Dravolin-Result");
    expect(outcome.files > 0, "no file kept");
    expect(!fs::exists(bag + "/" + kBagLockName), "the writer's lock is left");
    const std::string damaged = ReadFile(bag + "/damaged-files.txt");
    expect(c.notCopied.empty() ? damaged.empty() : damaged.find(c.notCopied) != std::string::npos,
           "damaged-files.txt: " + damaged);
    return problems;
}

class TargetBags : public ::testing::TestWithParam<TargetCase> {};

// However the target fails and whatever the disc does meanwhile, the bag published lists only
// what it holds, keeps what it could, and says incomplete when anything is missing.
TEST_P(TargetBags, ListOnlyWhatTheyHoldAndKeepWhatFit) {
    const TargetCase& c = GetParam();
    TempFolder temp;
    const std::string disc = temp / "disc", target = temp / "bags";
    MakeDisc(disc);
    MakeFolder(target);
    if (!c.smallDisk) {
        EXPECT_EQ(BagProblems(c, disc, target), "");
        return;
    }
    ExpectNoProblemsOnSmallDisk(target, "256k", [&] { return BagProblems(c, disc, target); });
}

INSTANTIATE_TEST_SUITE_P(
    Table, TargetBags,
    ::testing::Values(
        // Files of one block each, more than the disk holds: the disk fills up at the last
        // one, with no block left for the tag files.
        TargetCase{"FullDiskKeepsWhatFit",
                   [](const std::string& disc, const std::string&, TargetIo&) {
                       MakeFolder(disc + "/blocks");
                       for (int i = 0; i < 100; ++i) {
                           WriteFile(disc + "/blocks/" + std::to_string(1000 + i),
                                     Pattern(4096, static_cast<unsigned>(i)));
                       }
                   },
                   true, BagResult::Incomplete, true, ""},
        TargetCase{"FlushFailsOnAFullDisk",
                   [](const std::string&, const std::string&, TargetIo& io) {
                       io.payloadFlushFailures = 1;
                   },
                   false, BagResult::Incomplete, true, ""},
        TargetCase{"FolderFlushFailsAfterTheName",
                   [](const std::string&, const std::string& target, TargetIo& io) {
                       io.failingFolderFlush = target;
                   },
                   false, BagResult::Complete, false, ""},
        // A machine cloned from the same image (same machine id, another boot) sees this
        // writer as a process of an earlier boot.
        TargetCase{"CleanedByAClonedMachineWhilePublished",
                   [](const std::string&, const std::string&, TargetIo& io) {
                       io.beforeRename = [](int folder) {
                           TempOwner clone = ThisProcess();
                           clone.boot += 1;
                           RemoveStaleBags(folder, clone);
                       };
                   },
                   false, BagResult::Complete, false, ""},
        TargetCase{"FileGrowsWhileRead",
                   [](const std::string&, const std::string&, TargetIo& io) {
                       io.growsOnRead = "two.jpg";
                   },
                   false, BagResult::Incomplete, false,
                   "data/files/photos/two.jpg not copied: Cannot read photos/two.jpg: it changed"},
        TargetCase{"FolderTooDeep",
                   [](const std::string& disc, const std::string&, TargetIo&) {
                       std::string deep = disc + "/deep";
                       for (int level = 0; level < 260; ++level) deep += "/d";
                       MakeFolder(deep);
                       WriteFile(deep + "/bottom", "x");
                   },
                   false, BagResult::Incomplete, false,
                   " not copied: Will not copy the folder deep/d/d/"},
        TargetCase{"DiscFileNamedAsOurTemporaryFiles",
                   [](const std::string& disc, const std::string&, TargetIo&) {
                       WriteFile(disc + "/photos/.dravolin-1-2.part", "a disc's own file");
                   },
                   false, BagResult::Incomplete, false,
                   "data/files/photos/.dravolin-1-2.part not copied: "}),
    [](const auto& info) { return info.param.title; });

// A writer killed at any call leaves its temporary folder, never the finished name (unless
// it got past the rename, when the bag checks in full); the next writer removes the folder.
TEST(KilledBags, LeaveOnlyAFolderTheNextWriterRemoves) {
    TempFolder temp(MemoryFolder());
    const std::string disc = temp / "disc";
    MakeDisc(disc);
    int steps = 0;
    {
        StepIo io;
        ScriptedPrompts prompts;
        BagWriter writer(io, prompts);
        ASSERT_EQ(writer.Build(RequestFor(disc, temp / "reference")).result, BagResult::Complete);
        ASSERT_EQ(writer.Publish("Disc"), BagWriter::Published::Done);
        steps = io.Count(Step::Any);
    }
    int removed = 0;
    for (int at = 1; at <= steps; ++at) {
        SCOPED_TRACE("killed at call " + std::to_string(at));
        const std::string target = temp / ("bags" + std::to_string(at));
        const int status = RunChild([&] {
            StepIo io;
            io.at = at;
            io.crash = true;
            ScriptedPrompts prompts;
            BagWriter writer(io, prompts);
            writer.Build(RequestFor(disc, target));
            writer.Publish("Disc");
            return 1;
        });
        ASSERT_EQ(status, 0);
        const std::vector<std::string> left = EntriesOf(target);
        ASSERT_FALSE(left.empty());
        std::string stale;
        for (const std::string& name : left) {
            if (name == "Disc") {
                EXPECT_TRUE(BagChecks(target + "/Disc"));
                continue;
            }
            EXPECT_TRUE(LooksLikeTempName(name) && fs::is_directory(target + "/" + name)) << name;
            stale = name;
        }

        StepIo io;
        ScriptedPrompts prompts;
        BagWriter next(io, prompts);
        ASSERT_EQ(next.Build(RequestFor(disc, target)).result, BagResult::Complete);
        const std::string kept = next.BuildingPath().substr(target.size() + 1);
        if (!stale.empty()) {
            EXPECT_FALSE(fs::exists(target + "/" + stale));
            ++removed;
        }
        for (const std::string& name : EntriesOf(target)) {
            EXPECT_TRUE(name == "Disc" || name == kept) << name;
        }
    }
    EXPECT_GT(removed, steps / 2);
}

// Another writer's bag folder stays while that writer may be at work.
TEST(StaleBags, OnlyThoseOfGoneWritersAreRemoved) {
    TempFolder temp;
    const TempOwner self = ThisProcess();
    TempOwner gone = self;
    gone.startTime += 1;  // this pid, taken by a process that started at another time
    struct Row {
        TempOwner owner;
        bool holdLock;
        bool removed;
    };
    const UniqueFd folder(::open(temp.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<UniqueFd> locks;
    std::vector<std::pair<std::string, bool>> expected;
    int n = 0;
    for (const Row& row : {Row{self, true, false}, Row{self, false, false}, Row{gone, true, false},
                           Row{gone, false, true}}) {
        int error = 0;
        BagFolder bag =
            MakeBagFolder(folder.Get(), row.owner, static_cast<std::uint64_t>(++n), error);
        ASSERT_TRUE(bag.folder) << error;
        MakeFolder(temp / (bag.name + "/data"));
        WriteFile(temp / (bag.name + "/data/file"), "x");
        if (row.holdLock) locks.push_back(std::move(bag.lock));
        expected.emplace_back(bag.name, row.removed);
    }
    RemoveStaleBags(folder.Get(), self);
    for (const auto& [name, removed] : expected) {
        EXPECT_EQ(fs::exists(temp / name), !removed) << name;
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

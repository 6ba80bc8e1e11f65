// Archive mode on the real file system: the core's disc decision over the Linux archiver, with
// a drive whose disc is a folder mounted through the test seams.
#include <gtest/gtest.h>
#include <unistd.h>
#include <chrono>
#include <thread>
#include <utility>
#include "BagTestSupport.h"
#include "FakeSystem.h"
#include "LinuxTestSupport.h"
#include "archive/ArchiveLog.h"
#include "archive/ArchivePage.h"
#include "engine/ArchiveDisc.h"
#include "platform/linux/archive/LinuxArchiver.h"
#include "platform/linux/archive/TargetClaims.h"
#include "platform/linux/drives/DriveStates.h"
#include "platform/linux/threads/LinuxThreads.h"

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;

using archive::DiscResult;

class Factory : public CopyPromptsFactory {
  public:
    std::unique_ptr<CopyPrompts> Begin(WindowHandle, const CopySource&,
                                       const std::string&) override {
        all.push_back(std::make_shared<ScriptedPrompts>());
        if (slowDisc.count() > 0) {
            // The first step of the copy takes the whole budget, counted from before it.
            all.back()->onProgress = [this, started = false](const CopyProgress&) mutable {
                if (!std::exchange(started, true)) {
                    std::this_thread::sleep_until(std::chrono::steady_clock::now() + slowDisc);
                }
                return true;
            };
        }
        return std::make_unique<ForwardingPrompts>(all.back());
    }
    std::chrono::milliseconds slowDisc{0};
    std::vector<std::shared_ptr<ScriptedPrompts>> all;
};

struct ArchiverCase {
    const char* title;
    bool mounted;          // the disc's folder is mounted; else the mount finds nothing
    bool nameTakenBefore;  // a folder of the bag's name is in the target already
    // The log has the disc the row still shows as archived, and the drive, read now, finds no
    // volume: a blank disc put in after that one.
    bool blankAfterArchived;
    DiscResult first, second;             // the same disc, twice
    int bags;                             // folders in the target afterwards
    std::uint32_t discSeconds = 30 * 60;  // the disc's time budget
    bool logLost = false;                 // the log is gone before the second time, its bag is not
};

void PrintTo(const ArchiverCase& c, std::ostream* out) {
    *out << c.title;
}

class LinuxArchiving : public ::testing::TestWithParam<ArchiverCase> {};

TEST_P(LinuxArchiving, ADiscBecomesOneCheckedBagAndOneLogRowEachTimeAndNothingIsAsked) {
    const ArchiverCase& c = GetParam();
    FakeSystem system;
    std::string reason;
    if (system.MakeBlockNode("probe", reason).empty()) GTEST_SKIP() << reason;
    system.AddBlockDevice("sr0", 5);
    const std::string disc = system.Temp() / "disc", target = system.Temp() / "bags";
    MakeFolder(disc + "/sub");
    WriteFile(disc + "/top.txt", "top");
    WriteFile(disc + "/sub/inner.txt", "inner");
    if (c.mounted) system.AddMount(system.Dev("sr0"), disc);
    DiscMounter::Options options;
    options.mountInfo = system.Roots().mountInfo;
    options.useUDisks2 = false;
    options.privateMountRoot = system.Temp() / "run";
    auto calls = std::make_shared<FakeMountCalls>();
    calls->mountErrors = {{"udf", EINVAL}, {"iso9660", EINVAL}};
    auto factory = std::make_shared<Factory>();
    if (c.discSeconds < 60) factory->slowDisc = std::chrono::seconds(c.discSeconds) + 50ms;
    auto drives = std::make_shared<const OpticalDrives>(system.Roots());
    auto cdrom = std::make_shared<FakeCdrom>();
    LinuxThreads threads;
    std::shared_ptr<DriveStates> states;
    std::size_t before = 0;  // rows in the log before
    if (c.blankAfterArchived) {
        archive::LogRow archived;
        archived.label = "PHOTOS";
        archived.fingerprint = 0x1a2b3c4d;
        archived.bagFolder = "PHOTOS 1a2b3c4d";
        archived.result = DiscResult::Complete;
        MakeFolder(target);
        WriteFile(target + "/archive-log.csv", archive::AppendText("", archived));
        before = 1;
        // The drive's node has no disc bytes behind it: no volume is found.
        states = std::make_shared<DriveStates>(drives, cdrom, threads);
    }
    LinuxArchiver archiver(
        LinuxArchiver::Parts{drives, std::make_shared<DiscMounter>(options, calls, cdrom), states,
                             factory, std::make_shared<CopyIo>(), nullptr});
    ArchiveSettings settings;
    settings.options.on = true;
    settings.options.pattern = "{label} {serial}";
    settings.options.discSeconds = c.discSeconds;
    const DiscToArchive request{'D', 7, target + "\\", "PHOTOS", 0x1a2b3c4d, std::string(64, 'c')};
    if (c.nameTakenBefore) MakeFolder(target + "/PHOTOS 1a2b3c4d");
    // A page whose writer was killed: its temporary file goes with the next page.
    MakeFolder(target);
    WriteFile(target + "/.store-17.tmp", "<html>");

    EXPECT_EQ(ArchiveDisc(archiver, settings, request).result, c.first);
    if (c.logLost) {
        ASSERT_EQ(::unlink((target + "/archive-log.csv").c_str()), 0);
        before = 0;
    }
    EXPECT_EQ(ArchiveDisc(archiver, settings, request).result, c.second);

    const std::vector<archive::LogRow> rows =
        archive::ParseLog(ReadFile(target + "/archive-log.csv"));
    ASSERT_EQ(rows.size(), before + 2);
    EXPECT_EQ(rows[before].result, c.first);
    EXPECT_EQ(rows[before].identity, c.blankAfterArchived ? "" : request.identity);
    EXPECT_EQ(rows[before + 1].result, c.second);
    EXPECT_EQ(rows[before].label, c.blankAfterArchived ? "" : "PHOTOS");
    std::vector<std::string> entries = EntriesOf(target);
    std::erase(entries, std::string(kClaimsFileName));
    EXPECT_EQ(std::erase(entries, std::string(archive::kPageFileName)), 1u) << "the page";
    EXPECT_EQ(entries.size(), static_cast<std::size_t>(c.bags) + 1) << "the bags and the log";
    if (c.first == DiscResult::Complete) {
        EXPECT_EQ(rows[0].bagFolder, c.nameTakenBefore ? "PHOTOS 1a2b3c4d (2)" : "PHOTOS 1a2b3c4d");
        EXPECT_EQ(rows[0].files, 2u);
        EXPECT_TRUE(BagChecks(target + "/" + rows[0].bagFolder));
    }
    if (c.first == DiscResult::Incomplete) {
        EXPECT_EQ(rows[0].bagFolder, "PHOTOS 1a2b3c4d (incomplete)");
        EXPECT_TRUE(BagChecks(target + "/" + rows[0].bagFolder));
    }
    for (const auto& prompts : factory->all) {
        EXPECT_TRUE(prompts->failures.empty() && prompts->replaceQuestions.empty());
        EXPECT_TRUE(prompts->finished);
        EXPECT_TRUE(prompts->summary.empty()) << "a note would wait for a person";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinuxArchiving,
    ::testing::Values(
        ArchiverCase{"bagged then known", true, false, false, DiscResult::Complete,
                     DiscResult::AlreadyArchived, 1},
        ArchiverCase{"a taken name is never replaced", true, true, false, DiscResult::Complete,
                     DiscResult::AlreadyArchived, 2},
        ArchiverCase{"no file system: no bag, both times logged", false, false, false,
                     DiscResult::NoFileSystem, DiscResult::NoFileSystem, 0},
        ArchiverCase{"a blank disc after an archived one is not that one", false, false, true,
                     DiscResult::NoFileSystem, DiscResult::NoFileSystem, 0},
        ArchiverCase{"a disc slower than its budget is bagged incomplete", true, false, false,
                     DiscResult::Incomplete, DiscResult::Incomplete, 2, 1},
        ArchiverCase{"a bag whose log row was lost is known by its bag-info.txt", true, false,
                     false, DiscResult::Complete, DiscResult::AlreadyArchived, 1, 30 * 60, true}),
    [](const auto& info) {
        std::string name = info.param.title;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

}  // namespace
}  // namespace dravolin::lnx::test

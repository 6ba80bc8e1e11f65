// Archive mode in the copy cycle, on the fake machine and the fake archiver: what each disc
// becomes, what the log and the desktop hear, and how a full target stops every drive.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <vector>
#include "archive/ArchiveLog.h"
#include "engine/DriveList.h"
#include "tests/core/DialogFixture.h"

namespace dravolin {
namespace {

using archive::DiscResult;
using test::DialogFixture;
using test::Disc;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string kTarget = "C:\\Copies\\";
constexpr std::uint32_t kSerial = 0xD15C;
// The default pattern for the disc "DATA" at the fake archiver's clock.
const std::string kBag = "DATA 2026-12-08 0000d15c";
const std::string kStoppedNote =
    "Notify person The disc read too slowly and was stopped at its time limit, please check it: " +
    kBag + " (incomplete)";
const std::string kIdentity(64, 'e');

ArchiveOptions ModeOn() {
    ArchiveOptions options;
    options.on = true;
    return options;
}

// A disc found in E:, its copy worker run, and the eject that follows.
void RunOneDisc(DialogFixture& f) {
    f.Machine().InsertDisc('E', Disc("DATA", kSerial, {{"a.txt", "A"}}));
    f.Tick(0);
    f.Poll();             // the tray worker
    f.WorkersThenPoll();  // the copy worker starts
    f.WorkersThenPoll();  // it ended: the eject is shown
    f.Poll();             // the eject worker
    f.fake.threads.FinishAll();
}

std::string LogWith(DiscResult result, std::uint32_t fingerprint, std::string folder) {
    archive::LogRow row;
    row.drive = "F";
    row.label = "DATA";
    row.fingerprint = fingerprint;
    row.identity = kIdentity;
    row.bagFolder = std::move(folder);
    row.result = result;
    return archive::AppendText("", row);
}

struct DiscCase {
    const char* name;
    std::string logBefore;
    std::vector<std::string> taken;
    fake::FakeBagScript script;
    std::vector<std::string> bags;  // the names the platform was asked to build
    std::string result;             // the log's new row
    std::string bagFolder;
    std::string note;  // the one notification
    bool logWritable = true;
    std::string logNote = "";  // the new row's
};

void PrintTo(const DiscCase& c, std::ostream* os) {
    *os << c.name;
}

class DiscArchived : public ::testing::TestWithParam<DiscCase> {};

TEST_P(DiscArchived, EndsInOneLogRowOneNotificationAndAnEject) {
    const DiscCase& c = GetParam();
    DialogFixture f(ModeOn());
    f.OpenWithDrives("E");
    f.fake.archiver->SetLogText(kTarget, c.logBefore);
    for (const std::string& name : c.taken) f.fake.archiver->TakeName(kTarget, name);
    f.fake.archiver->ScriptBag(kSerial, c.script);
    f.fake.archiver->SetDisc('E', {"DATA", kSerial, kIdentity});
    f.fake.archiver->SetLogWritable(c.logWritable);
    const std::size_t rowsBefore = archive::ParseLog(c.logBefore).size();

    RunOneDisc(f);

    std::vector<std::string> bags;
    for (const Archiver::Bag& bag : f.fake.archiver->Bags()) bags.push_back(bag.name);
    EXPECT_THAT(bags, ElementsAreArray(c.bags));
    EXPECT_THAT(f.fake.log.Matching("Notify"), ElementsAre(c.note));
    const std::vector<archive::LogRow> rows = archive::ParseLog(f.fake.archiver->LogText(kTarget));
    if (!c.logWritable) {
        EXPECT_EQ(rows.size(), rowsBefore);
        return;
    }
    ASSERT_EQ(rows.size(), rowsBefore + 1);
    EXPECT_EQ(archive::ResultWord(rows.back().result), c.result);
    EXPECT_EQ(rows.back().bagFolder, c.bagFolder);
    EXPECT_EQ(rows.back().drive, "E");
    EXPECT_EQ(rows.back().label, "DATA");
    EXPECT_EQ(rows.back().fingerprint, kSerial);
    EXPECT_EQ(rows.back().identity, kIdentity);
    EXPECT_EQ(rows.back().start, "2026-12-08T14:03:11+01:00");
    EXPECT_EQ(rows.back().note, c.logNote);
    // Nobody was asked anything: the disc went out and the drive waits for the next one.
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
    EXPECT_TRUE(IsChecked(f.List(), 0));
    EXPECT_EQ(f.Status(0), test::kStatusWaiting);
    EXPECT_THAT(f.fake.log.Matching("SHFileOperationA"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, DiscArchived,
    ::testing::Values(
        DiscCase{"complete",
                 "",
                 {},
                 {},
                 {kBag},
                 "complete",
                 kBag,
                 "Notify quiet Disc archived: " + kBag},
        DiscCase{"already archived",
                 LogWith(DiscResult::Complete, kSerial, "DATA 2026-01-01 0000d15c"),
                 {},
                 {},
                 {},
                 "already archived",
                 "",
                 "Notify quiet Disc already archived, ejected uncopied: DATA 2026-01-01 0000d15c"},
        DiscCase{"an earlier bag incomplete",
                 LogWith(DiscResult::Incomplete, kSerial, "DATA 2026-01-01 0000d15c (incomplete)"),
                 {},
                 {},
                 {kBag},
                 "complete",
                 kBag,
                 "Notify quiet Disc archived: " + kBag},
        DiscCase{"the name taken",
                 "",
                 {kBag},
                 {},
                 {kBag + " (2)"},
                 "complete",
                 kBag + " (2)",
                 "Notify quiet Disc archived: " + kBag + " (2)"},
        DiscCase{"damaged",
                 "",
                 {},
                 {DiscResult::Incomplete, 3, 30, 1},
                 {kBag},
                 "incomplete",
                 kBag + " (incomplete)",
                 "Notify person Disc archived with damaged files, please check it; another drive "
                 "may read the rest: " +
                     kBag + " (incomplete)"},
        DiscCase{"stopped by its time budget",
                 "",
                 {},
                 {DiscResult::Incomplete, 2, 20, 0, true},
                 {kBag},
                 "incomplete",
                 kBag + " (incomplete)",
                 kStoppedNote},
        // Read into an image, the files the budget left unread are damaged ones.
        DiscCase{"stopped by its time budget with files left damaged",
                 "",
                 {},
                 {DiscResult::Incomplete, 5, 50, 4, true},
                 {kBag},
                 "incomplete",
                 kBag + " (incomplete)",
                 kStoppedNote},
        // An audio CD is archived like any disc, and its log row says how to look it up.
        DiscCase{"audio CD",
                 "",
                 {},
                 {DiscResult::Complete, 3, 30, 0, false, false, 0, "lYS9wfaRu.ABgy8TrvP7DPv0kh8-"},
                 {kBag},
                 "complete",
                 kBag,
                 "Notify quiet Disc archived: " + kBag,
                 true,
                 "MusicBrainz disc ID lYS9wfaRu.ABgy8TrvP7DPv0kh8-"},
        DiscCase{
            "audio CD with damaged tracks",
            "",
            {},
            {DiscResult::Incomplete, 3, 30, 1, false, false, 0, "lYS9wfaRu.ABgy8TrvP7DPv0kh8-"},
            {kBag},
            "incomplete",
            kBag + " (incomplete)",
            "Notify person Disc archived with damaged files, please check it; another drive "
            "may read the rest: " +
                kBag + " (incomplete)",
            true,
            "MusicBrainz disc ID lYS9wfaRu.ABgy8TrvP7DPv0kh8-"},
        DiscCase{"no file system",
                 "",
                 {},
                 {DiscResult::NoFileSystem},
                 {kBag},
                 "unreadable",
                 "",
                 "Notify person The disc in drive E: has no readable file system; it was ejected"},
        DiscCase{"failed",
                 "",
                 {},
                 {DiscResult::Failed},
                 {kBag},
                 "failed",
                 "",
                 "Notify person The disc in drive E: could not be archived"},
        DiscCase{"the log not written",
                 "",
                 {},
                 {},
                 {kBag},
                 "",
                 "",
                 "Notify person The archive log could not be written, so the disc may be copied "
                 "again; please check the log: C:\\Copies\\archive-log.csv",
                 false}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (c == ' ') c = '_';
        }
        return name;
    });

struct BagRequestCase {
    const char* name;
    ArchiveOptions options;
    std::string bagName;
    std::uint32_t budget;
    // What the archiver reads of the disc as its worker starts, when the row knew less.
    std::optional<Archiver::DiscIdentity> readNow = std::nullopt;
};

void PrintTo(const BagRequestCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveBagRequest : public ::testing::TestWithParam<BagRequestCase> {};

TEST_P(ArchiveBagRequest, CarriesThePatternsNameTheBudgetAndTheDiscsFacts) {
    const BagRequestCase& c = GetParam();
    DialogFixture f(c.options);
    f.OpenWithDrives("E");
    if (c.readNow) f.fake.archiver->SetDisc('E', *c.readNow);

    RunOneDisc(f);

    const std::vector<Archiver::Bag> bags = f.fake.archiver->Bags();
    ASSERT_EQ(bags.size(), 1u);
    EXPECT_EQ(bags[0].name, c.bagName);
    EXPECT_EQ(bags[0].timeBudgetSeconds, c.budget);
    EXPECT_EQ(bags[0].letter, 'E');
    EXPECT_EQ(bags[0].label, c.readNow ? c.readNow->label : "DATA");
    EXPECT_EQ(bags[0].fingerprint, c.readNow ? c.readNow->fingerprint : kSerial);
    EXPECT_EQ(archive::IsoText(bags[0].start), "2026-12-08T14:03:11+01:00");
}

INSTANTIATE_TEST_SUITE_P(
    Options, ArchiveBagRequest,
    ::testing::Values(BagRequestCase{"defaults", ModeOn(), kBag, 1800},
                      BagRequestCase{
                          "own", {true, "{drive} {label} {time}", 90}, "E DATA 14-03-11", 90},
                      BagRequestCase{"disc read anew", ModeOn(), "PHOTOS 2026-12-08 0000beef", 1800,
                                     Archiver::DiscIdentity{"PHOTOS", 0xBEEF, {}}}));

struct ModeCase {
    const char* name;
    ArchiveOptions options;
    std::string caption;
    std::size_t shellCopies;
    std::size_t bags;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << c.name;
}

class ArchiveModeSwitch : public ::testing::TestWithParam<ModeCase> {};

// Off, the cycle is the shell's copy and the archiver is never called.
TEST_P(ArchiveModeSwitch, DecidesTheTitleAndTheCopyWorker) {
    const ModeCase& c = GetParam();
    DialogFixture f(c.options);
    f.OpenWithDrives("E");
    EXPECT_EQ(f.fake.window.caption, c.caption);

    RunOneDisc(f);

    EXPECT_EQ(f.fake.log.Matching("SHFileOperationA").size(), c.shellCopies);
    EXPECT_EQ(f.fake.archiver->Bags().size(), c.bags);
    if (c.bags == 0) {
        for (const char* call : {"ReadLog", "AppendLog", "BuildBag", "Notify", "WritePage"}) {
            EXPECT_THAT(f.fake.log.Matching(call), IsEmpty()) << call;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ArchiveModeSwitch,
                         ::testing::Values(ModeCase{"off", {}, "Dravolin", 1, 0},
                                           ModeCase{"on", ModeOn(), "Dravolin: archive mode", 0,
                                                    1}));

TEST(ArchiveModeSwitch, StaysOffOnAPlatformWithoutAnArchiver) {
    fake::FakePlatform fake;
    Platform platform = fake.Get();
    platform.workers.archiver = nullptr;
    CCopyDlg dialog(platform, ModeOn());
    dialog.Attach(fake.window);
    dialog.OnInitDialog();

    EXPECT_EQ(fake.window.caption, "Dravolin");
    EXPECT_EQ(dialog.m_archive, nullptr);
    dialog.OnDestroy();
}

TEST(ArchiveFullTarget, UnticksEveryDriveAndTellsOnce) {
    DialogFixture f(ModeOn());
    f.OpenWithDrives("EFG");
    f.Machine().InsertDisc('E', Disc("ONE", 1));
    f.Machine().InsertDisc('F', Disc("TWO", 2));
    f.fake.archiver->ScriptBag(1, {DiscResult::TargetFull});
    f.fake.archiver->ScriptBag(2, {DiscResult::TargetFull});
    for (int row = 0; row < 3; ++row) f.Tick(row);
    f.Poll();
    f.WorkersThenPoll();  // E and F archive; G has no disc
    ASSERT_EQ(f.Status(0), test::kStatusCopying);
    ASSERT_EQ(f.Status(1), test::kStatusCopying);

    f.WorkersThenPoll();  // both ended on a full target
    f.Poll();

    for (int row = 0; row < 3; ++row) EXPECT_FALSE(IsChecked(f.List(), row)) << row;
    EXPECT_THAT(f.fake.log.Matching("Notify"),
                ElementsAre("Notify person The target disk is full: archiving has stopped on "
                            "every drive"));
    std::vector<std::string> results;
    for (const archive::LogRow& row : archive::ParseLog(f.fake.archiver->LogText(kTarget))) {
        results.push_back(std::string(archive::ResultWord(row.result)));
    }
    EXPECT_THAT(results, ElementsAre("target full", "target full"));
    // Nothing starts again until a person ticks a drive.
    const int threads = f.ThreadCount();
    f.Poll();
    EXPECT_EQ(f.ThreadCount(), threads);
}

}  // namespace
}  // namespace dravolin

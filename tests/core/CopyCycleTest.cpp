#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>
#include "engine/DriveList.h"
#include "tests/core/DialogFixture.h"

namespace dravolin {
namespace {

using test::DialogFixture;
using test::Disc;
using test::kStatusCopying;
using test::kStatusEjecting;
using test::kStatusIdle;
using test::kStatusWaiting;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kCopiesTarget = "C:\\Copies\\";

std::vector<std::string> Copies(DialogFixture& f) {
    return f.fake.log.Matching("SHFileOperationA");
}

TEST(PollDrives, RunsAWholeCycleTickByTick) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().WithDrive('E', [](fake::FakeDrive& d) { d.trayOpen = true; });
    f.Tick(0);

    f.Poll();  // the tray is closed by a worker
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    ASSERT_EQ(f.ThreadCount(), 1);
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
    f.fake.threads.FinishAll();
    EXPECT_FALSE(f.Machine().DriveSnapshot('E').trayOpen);

    f.Poll();  // still no disc
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    EXPECT_EQ(f.ThreadCount(), 1);
    EXPECT_EQ(f.Entry(0).worker, nullptr);

    f.Machine().WithDrive('E', [](fake::FakeDrive& d) {
        d.disc = Disc("DATA", 0xD15C, {{"a.txt", "A"}, {"Docs\\b.txt", "B"}});
    });
    f.Poll();  // the disc is found: the copy starts into the combo box's folder
    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_EQ(f.Label(0), "DATA (E:)");
    ASSERT_EQ(f.ThreadCount(), 2);
    EXPECT_EQ(f.Entry(0).destination, kCopiesTarget);
    EXPECT_TRUE(f.Machine().FolderExists(kCopiesTarget));
    f.fake.threads.FinishAll();
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\a.txt"), "A");
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\Docs\\b.txt"), "B");

    f.Poll();  // one interval shows the eject to come
    EXPECT_EQ(f.Status(0), kStatusEjecting);
    EXPECT_EQ(f.ThreadCount(), 2);
    EXPECT_FALSE(f.Machine().DriveSnapshot('E').trayOpen);

    f.Poll();  // the eject runs in a worker, the drive waits for the next disc
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    ASSERT_EQ(f.ThreadCount(), 3);
    f.fake.threads.FinishAll();
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);

    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    EXPECT_EQ(f.ThreadCount(), 3);
    EXPECT_EQ(Copies(f).size(), 1u);
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(f.fake.threads.At(n).handleClosed) << n;
}

TEST(PollDrives, ADiscAlreadyInIsCopiedOnTheSecondTick) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);

    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    f.fake.log.Clear();
    f.fake.threads.FinishAll();
    // The tray-closing worker finds the disc and leaves the drive alone.
    EXPECT_THAT(f.fake.log.Matching("DeviceIoControl"),
                ElementsAre("DeviceIoControl \\\\.\\E: 0x74800"));

    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusCopying);
    f.fake.threads.FinishAll();
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\a.txt"), "A");
}

TEST(PollDrives, ADriveSpinningUpIsCopiedOnceReadable) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().WithDrive('E', [](fake::FakeDrive& d) {
        d.disc = Disc("DATA", 1, {{"a.txt", "A"}});
        d.notReadyChecks = 3;  // the tray worker's test and two polls
    });
    f.Tick(0);
    f.Poll();

    f.WorkersThenPoll();
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    f.WorkersThenPoll();
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    f.WorkersThenPoll();
    EXPECT_EQ(f.Status(0), kStatusCopying);
}

TEST(PollDrives, AnUntickedRowReturnsToIdleAndStartsNothing) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("DATA", 1));
    f.Tick(0);
    f.Poll();
    f.fake.threads.FinishAll();
    f.Tick(0, false);

    f.Poll();

    EXPECT_EQ(f.Status(0), kStatusIdle);
    EXPECT_EQ(f.Entry(0).state, Idle);
    EXPECT_EQ(f.ThreadCount(), 1);
    f.Poll();
    EXPECT_EQ(f.ThreadCount(), 1);
    EXPECT_THAT(Copies(f), IsEmpty());
}

struct RejectCase {
    const char* name;
    const char* text;
};

void PrintTo(const RejectCase& c, std::ostream* os) {
    *os << c.name;
}

class RejectedFolder : public ::testing::TestWithParam<RejectCase> {};

TEST_P(RejectedFolder, UnticksTheDriveWhichIsIdleOnTheNextTickWithoutACopy) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.SetTarget(GetParam().text);
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);
    f.Poll();
    f.fake.threads.FinishAll();

    f.Poll();  // the disc is found, the folder is refused
    EXPECT_FALSE(f.List().Ticked(0));
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    EXPECT_EQ(f.ThreadCount(), 1);
    EXPECT_EQ(f.Entry(0).worker, nullptr);

    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusIdle);
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusIdle);
    EXPECT_EQ(f.ThreadCount(), 1);
    EXPECT_THAT(Copies(f), IsEmpty());
    EXPECT_THAT(f.fake.window.combo.Items(), IsEmpty());
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').disc.has_value());
    EXPECT_FALSE(f.Machine().DriveSnapshot('E').trayOpen);
}

INSTANTIATE_TEST_SUITE_P(Folders, RejectedFolder,
                         ::testing::Values(RejectCase{"Empty", ""}, RejectCase{"Blanks", "   "},
                                           RejectCase{"Bar", "C:\\Copies|1"},
                                           RejectCase{"Question", "C:\\Cop?es"},
                                           RejectCase{"Quote", "\"C:\\Copies\""},
                                           RejectCase{"NoSuchDrive", "Q:\\Copies"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PollDrives, ARetickedDriveCopiesOnceTheFolderIsCorrected) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.SetTarget("");
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);
    f.Poll();
    f.WorkersThenPoll();
    ASSERT_FALSE(f.List().Ticked(0));
    f.Poll();
    ASSERT_EQ(f.Status(0), kStatusIdle);

    f.SetTarget("C:\\Copies");
    f.Tick(0);
    f.Poll();
    f.WorkersThenPoll();

    EXPECT_EQ(f.Status(0), kStatusCopying);
    f.fake.threads.FinishAll();
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\a.txt"), "A");
}

TEST(PollDrives, UntickingDuringACopyKeepsCopyingAndEjectsOnlyOnceTickedAgain) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);
    f.Poll();
    f.WorkersThenPoll();
    ASSERT_EQ(f.Status(0), kStatusCopying);
    const int copy = f.ThreadCount() - 1;
    f.fake.threads.KeepRunning(copy);

    f.Tick(0, false);
    f.Poll();  // the copy goes on
    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_FALSE(f.fake.threads.At(copy).handleClosed);

    f.fake.threads.Finish(copy);
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\a.txt"), "A");
    f.Poll();
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_TRUE(f.fake.threads.At(copy).handleClosed);
    EXPECT_EQ(f.ThreadCount(), copy + 1);
    EXPECT_FALSE(f.Machine().DriveSnapshot('E').trayOpen);

    f.Tick(0);
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusEjecting);
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    f.fake.threads.FinishAll();
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
}

TEST(PollDrives, TwoDrivesCopyInParallel) {
    DialogFixture f;
    f.OpenWithDrives("DE");
    f.Machine().InsertDisc('D', Disc("ONE", 1, {{"one.txt", "1"}}));
    f.Machine().InsertDisc('E', Disc("TWO", 2, {{"two.txt", "2"}}));
    f.Tick(0);
    f.Tick(1);
    f.Poll();
    f.WorkersThenPoll();

    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_EQ(f.Status(1), kStatusCopying);
    EXPECT_EQ(f.fake.threads.Live(), 2);
    ASSERT_NE(f.Entry(0).worker, nullptr);
    ASSERT_NE(f.Entry(1).worker, nullptr);
    EXPECT_NE(f.Entry(0).worker, f.Entry(1).worker);

    f.fake.threads.FinishAll();
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\one.txt"), "1");
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\two.txt"), "2");
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusEjecting);
    EXPECT_EQ(f.Status(1), kStatusEjecting);
}

TEST(PollDrives, EachDiscTakesTheFolderInTheComboBoxWhenItIsFound) {
    DialogFixture f;
    f.OpenWithDrives("DE");
    f.Machine().InsertDisc('D', Disc("ONE", 1, {{"one.txt", "1"}}));
    f.Tick(0);
    f.Tick(1);
    f.Poll();
    f.WorkersThenPoll();  // D is copying into C:\Copies\, E is empty
    f.SetTarget("  C:\\Other// ");
    f.Machine().InsertDisc('E', Disc("TWO", 2, {{"two.txt", "2"}}));
    f.WorkersThenPoll();
    f.Poll();

    EXPECT_EQ(f.Entry(0).destination, kCopiesTarget + std::string(2, '\0'));
    EXPECT_EQ(f.Entry(1).destination, "C:\\Other\\");
    EXPECT_EQ(f.Status(1), kStatusCopying);
    f.fake.threads.FinishAll();
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\one.txt"), "1");
    EXPECT_EQ(f.Machine().FileContent("C:\\Other\\two.txt"), "2");
    EXPECT_THAT(f.fake.window.combo.Texts(), ElementsAre("C:\\Other\\", kCopiesTarget));
}

TEST(PollDrives, TheNextDiscReplacesTheWholeDestination) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("ONE", 1, {{"one.txt", "1"}}));
    f.Tick(0);
    f.Poll();
    f.WorkersThenPoll();
    f.fake.threads.FinishAll();
    EXPECT_EQ(f.Entry(0).destination, kCopiesTarget + std::string(2, '\0'));
    f.Poll();
    f.Poll();
    f.fake.threads.FinishAll();  // ejected

    f.Machine().WithDrive('E', [](fake::FakeDrive& d) {
        d.disc = Disc("TWO", 2, {{"two.txt", "2"}});
        d.trayOpen = false;
    });
    f.Poll();

    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_EQ(f.Entry(0).destination, kCopiesTarget);
    f.fake.threads.FinishAll();
    EXPECT_EQ(f.Entry(0).destination, kCopiesTarget + std::string(2, '\0'));
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\two.txt"), "2");
}

// A worker may end before the thread that created it goes on: the state it runs under must
// already be shown when its thread is created, never the state before.
TEST(PollDrives, EachWorkersStatusIsShownBeforeItsThreadIsCreated) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);
    for (int tick = 0; tick < 4; ++tick) f.WorkersThenPoll();  // tray, copy, ejecting, eject

    struct Start {
        std::string status;
        std::string thread;
    };
    int from = 0;
    for (const Start& start :
         {Start{kStatusWaiting, "CreateThread 0"}, Start{kStatusCopying, "CreateThread 1"},
          Start{kStatusWaiting, "CreateThread 2"}}) {
        const int shown = f.fake.log.IndexOf("LVM_SETITEMTEXT 0 1 " + start.status, from);
        const int created = f.fake.log.IndexOf(start.thread, from);
        ASSERT_GE(shown, 0) << start.thread;
        ASSERT_GE(created, 0) << start.thread;
        EXPECT_LT(shown, created) << start.thread;
        from = created;
    }
    EXPECT_GT(f.fake.log.IndexOf(std::string("LVM_SETITEMTEXT 0 1 ") + kStatusEjecting), 0);
}

TEST(PollDrives, ARunningWorkerIsOnlyLookedAt) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Tick(0);
    f.Poll();
    f.Tick(0, false);
    f.fake.log.Clear();

    f.Poll();
    f.Poll();

    // Neither the drive nor the row is touched while the worker runs.
    EXPECT_THAT(f.fake.log.Lines(),
                ElementsAre("WaitForSingleObject 0 0", "WaitForSingleObject 0 0"));
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    EXPECT_FALSE(f.fake.threads.At(0).handleClosed);

    f.fake.threads.Finish(0);
    f.Poll();
    EXPECT_TRUE(f.fake.threads.At(0).handleClosed);
    EXPECT_EQ(f.Entry(0).worker, nullptr);
    EXPECT_EQ(f.Status(0), kStatusIdle);
}

struct FailedThreadCase {
    const char* name;
    std::size_t failingStep;  // the tick whose thread cannot be created
    std::vector<const char*> statuses;
};

void PrintTo(const FailedThreadCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedThread : public ::testing::TestWithParam<FailedThreadCase> {};

// Each step: the workers of the interval run, then the tick.
TEST_P(FailedThread, LeavesNoWorkerAndTheRowAdvancesOnTheNextTick) {
    const FailedThreadCase& c = GetParam();
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);

    std::vector<std::string> seen;
    for (std::size_t step = 0; step < c.statuses.size(); ++step) {
        f.fake.threads.FailCreates(step == c.failingStep ? 1 : 0);
        f.fake.log.Clear();
        f.WorkersThenPoll();
        seen.push_back(f.Status(0));
        if (step == c.failingStep) {
            EXPECT_THAT(f.fake.log.Matching("CreateThread"), ElementsAre("CreateThread failed"));
            EXPECT_EQ(f.Entry(0).worker, nullptr);
        }
    }
    EXPECT_THAT(seen, ::testing::ElementsAreArray(c.statuses));
}

INSTANTIATE_TEST_SUITE_P(
    Workers, FailedThread,
    ::testing::Values(
        FailedThreadCase{"TrayClosing", 0, {kStatusWaiting, kStatusCopying, kStatusEjecting}},
        FailedThreadCase{
            "Copy", 1, {kStatusWaiting, kStatusCopying, kStatusEjecting, kStatusWaiting}},
        // The disc stays in, so it is copied again: a failed eject goes unnoticed.
        FailedThreadCase{
            "Eject",
            3,
            {kStatusWaiting, kStatusCopying, kStatusEjecting, kStatusWaiting, kStatusCopying}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PollDrives, AFailedCopyThreadCopiesNothingAndStillEjects) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);
    f.Poll();
    f.fake.threads.FinishAll();
    f.fake.threads.FailCreates(1);

    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_EQ(f.Entry(0).worker, nullptr);
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusEjecting);
    f.WorkersThenPoll();
    f.fake.threads.FinishAll();

    EXPECT_THAT(Copies(f), IsEmpty());
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
}

TEST(PollDrives, TheLabelOfAnUntickedRowFollowsTheDiscBySerial) {
    DialogFixture f;
    f.OpenWithDrives("E");
    const int statusWrites = f.List().statusWrites;
    EXPECT_EQ(f.Label(0), "CD Drive (E:)");

    f.Machine().InsertDisc('E', Disc("DATA", 1));
    f.Poll();
    EXPECT_EQ(f.Label(0), "DATA (E:)");

    f.Machine().InsertDisc('E', Disc("OTHER", 1));
    f.Poll();
    EXPECT_EQ(f.Label(0), "DATA (E:)");

    f.Machine().InsertDisc('E', Disc("OTHER", 2));
    f.Poll();
    EXPECT_EQ(f.Label(0), "OTHER (E:)");

    f.Machine().RemoveDisc('E');
    f.Poll();
    EXPECT_EQ(f.Label(0), "CD Drive (E:)");
    EXPECT_EQ(f.Status(0), kStatusIdle);
    EXPECT_EQ(f.List().statusWrites, statusWrites);
    EXPECT_EQ(f.ThreadCount(), 0);
}

TEST(PollDrives, AnEmptyListPollsNothing) {
    DialogFixture f;
    f.Open();
    f.Poll();
    EXPECT_THAT(f.fake.log.Lines(), IsEmpty());
}

}  // namespace
}  // namespace dravolin

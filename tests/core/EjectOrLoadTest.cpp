#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include "engine/CopyCycle.h"
#include "engine/DriveList.h"
#include "tests/core/DialogFixture.h"

namespace dravolin {
namespace {

using test::DialogFixture;
using test::Disc;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The screen point over the middle of a row's first column.
Point OverRow(DialogFixture& f, int row) {
    return Point{f.List().origin.x + 20,
                 f.List().origin.y + row * fake::FakeListView::kRowHeight + 8};
}

void DoubleClickAt(DialogFixture& f, Point screen) {
    f.fake.desktop.cursor = screen;
    EjectOrLoadAtCursor(f.dialog);
}

TEST(EjectOrLoadAtCursor, EjectsAHeldDiscThenClosesTheEmptyTray) {
    DialogFixture f;
    f.Machine().AddDrive('D');
    f.Machine().AddDrive('E').disc = Disc("DATA", 1);
    f.Open();

    DoubleClickAt(f, OverRow(f, 1));
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
    EXPECT_THAT(
        f.fake.log.Matching("DeviceIoControl"),
        ElementsAre("DeviceIoControl \\\\.\\E: 0x74800", "DeviceIoControl \\\\.\\E: 0x74808"));
    EXPECT_EQ(f.fake.log.IndexOf("BeginWaitCursor"), f.fake.log.IndexOf("CloseHandle") + 1);
    f.fake.log.Clear();

    DoubleClickAt(f, OverRow(f, 1));
    EXPECT_FALSE(f.Machine().DriveSnapshot('E').trayOpen);
    EXPECT_THAT(
        f.fake.log.Matching("DeviceIoControl"),
        ElementsAre("DeviceIoControl \\\\.\\E: 0x74800", "DeviceIoControl \\\\.\\E: 0x7480c"));
    EXPECT_THAT(f.fake.log.Matching("EndWaitCursor"), ElementsAre("EndWaitCursor"));
    EXPECT_FALSE(f.Machine().DriveSnapshot('D').trayOpen);
}

struct BesideCase {
    const char* name;
    int dx;
    int dy;
};

void PrintTo(const BesideCase& c, std::ostream* os) {
    *os << c.name;
}

class BesideTheRows : public ::testing::TestWithParam<BesideCase> {};

TEST_P(BesideTheRows, DoesNothing) {
    DialogFixture f;
    f.Machine().AddDrive('E').disc = Disc("DATA", 1);
    f.Open();

    DoubleClickAt(f, Point{f.List().origin.x + GetParam().dx, f.List().origin.y + GetParam().dy});

    EXPECT_THAT(f.fake.log.Matching("CreateFileA"), IsEmpty());
    EXPECT_FALSE(f.Machine().DriveSnapshot('E').trayOpen);
}

INSTANTIATE_TEST_SUITE_P(Points, BesideTheRows,
                         ::testing::Values(BesideCase{"BelowTheLastRow", 20, 30},
                                           BesideCase{"LeftOfTheList", -5, 8},
                                           BesideCase{"AboveTheList", 20, -3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EjectOrLoadAtCursor, ActsDuringACopyWithoutTouchingTheRecordOrTheTick) {
    DialogFixture f;
    f.Machine().AddDrive('E').disc = Disc("DATA", 1, {{"a.txt", "A"}});
    f.Machine().AddVolume('C');
    f.Open();
    f.SetTarget("C:\\Copies");
    f.Tick(0);
    f.Poll();
    f.WorkersThenPoll();
    ASSERT_EQ(f.Entry(0).state, Copying);
    f.fake.threads.KeepRunning(1);
    const WorkerThread* worker = f.Entry(0).worker.get();
    const std::string destination = f.Entry(0).destination;
    const std::uint32_t serial = f.Entry(0).serial;
    const int statusWrites = f.List().statusWrites;
    const int textWrites = f.List().textWrites;

    DoubleClickAt(f, OverRow(f, 0));

    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
    EXPECT_EQ(f.Entry(0).state, Copying);
    EXPECT_EQ(f.Entry(0).worker.get(), worker);
    EXPECT_EQ(f.Entry(0).destination, destination);
    EXPECT_EQ(f.Entry(0).serial, serial);
    EXPECT_TRUE(f.List().Ticked(0));
    EXPECT_EQ(f.List().statusWrites, statusWrites);
    EXPECT_EQ(f.List().textWrites, textWrites);
    EXPECT_EQ(f.ThreadCount(), 2);
}

TEST(EjectOrLoadAtCursor, ActsOnAnUntickedIdleRow) {
    DialogFixture f;
    f.Machine().AddDrive('E').disc = Disc("DATA", 1);
    f.Open();
    DoubleClickAt(f, OverRow(f, 0));
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
    EXPECT_FALSE(f.List().Ticked(0));
    EXPECT_EQ(f.Entry(0).state, Idle);
}

}  // namespace
}  // namespace dravolin

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <memory>
#include <string>
#include <vector>
#include "engine/DriveList.h"
#include "tests/core/DialogFixture.h"

namespace dravolin {
namespace {

using test::DialogFixture;
using test::Disc;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

fake::FakeImageList& DriveImages(DialogFixture& f) {
    return static_cast<fake::FakeImageList&>(*f.dialog.m_imgDrives);
}

TEST(InitDriveList, AddsTheListStylesToThoseAlreadySet) {
    DialogFixture f;
    f.List().SetExtendedStyle(0x10000);
    f.Open();
    EXPECT_EQ(f.List().GetExtendedStyle(), 0x14024u);
}

TEST(InitDriveList, AttachesTheDriveImagesAsSmallIcons) {
    DialogFixture f;
    f.Open();
    ASSERT_NE(f.dialog.m_imgDrives, nullptr);
    EXPECT_EQ(f.List().SmallImages(), f.dialog.m_imgDrives.get());
    EXPECT_EQ(f.List().imageListWhich, win::kLvsilSmall);
}

struct ColumnCase {
    const char* name;
    fake::FakeResources::Language language;
    int clientWidth;
    int scrollBarWidth;
    const char* driveTitle;
    const char* statusTitle;
    int statusWidth;
};

void PrintTo(const ColumnCase& c, std::ostream* os) {
    *os << c.name;
}

class Columns : public ::testing::TestWithParam<ColumnCase> {};

// The status column leaves room for a scroll bar even when the list has no rows to scroll.
TEST_P(Columns, TakeTheirTitlesFromTheStringsAndTheRestOfTheWidth) {
    const ColumnCase& c = GetParam();
    DialogFixture f(c.language);
    f.List().clientRect = Rect{0, 0, c.clientWidth, 65};
    f.fake.desktop.metrics[win::kSmCxVScroll] = c.scrollBarWidth;
    f.Open();

    ASSERT_EQ(f.List().Columns().size(), 2u);
    EXPECT_EQ(f.List().Columns()[0].title, c.driveTitle);
    EXPECT_EQ(f.List().Columns()[0].width, 180);
    EXPECT_EQ(f.List().Columns()[1].title, c.statusTitle);
    EXPECT_EQ(f.List().Columns()[1].width, c.statusWidth);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Columns,
    ::testing::Values(ColumnCase{"English", fake::FakeResources::Language::English, 405, 17,
                                 "Drive", "Status", 206},
                      ColumnCase{"Russian", fake::FakeResources::Language::Russian, 405, 17, "Диск",
                                 "Состояние", 206},
                      ColumnCase{"WideScrollBar", fake::FakeResources::Language::English, 405, 25,
                                 "Drive", "Status", 198},
                      ColumnCase{"NarrowList", fake::FakeResources::Language::English, 300, 17,
                                 "Drive", "Status", 101}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InitDriveList, AsksForTheTypeOfEveryLetterInOrder) {
    DialogFixture f;
    f.dialog.Attach(f.fake.window);
    f.dialog.m_wndDrives = &f.List();
    f.dialog.m_imgDrives = f.fake.desktop.CreateImageList(16, 16, 0x21, 5, 0);

    InitDriveList(f.dialog);

    std::vector<std::string> expected;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        expected.push_back(std::string("GetDriveTypeA \\\\.\\") + letter + ":\\");
    }
    EXPECT_EQ(f.fake.log.Matching("GetDriveTypeA"), expected);
}

TEST(InitDriveList, GivesEveryCdDriveARowInLetterOrder) {
    DialogFixture f;
    f.Machine().AddDrive('F');
    f.Machine().AddDrive('C', 3);
    f.Machine().AddDrive('D');
    f.Machine().AddDrive('G', 2);
    f.Open();

    ASSERT_EQ(f.List().GetItemCount(), 2);
    ASSERT_EQ(f.dialog.m_entries.size(), 2u);
    EXPECT_EQ(f.dialog.m_rowsInPass, std::vector<bool>(2, false));
    const char letters[] = {'D', 'F'};
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        const DriveEntry& e = f.Entry(row);
        EXPECT_EQ(&e, f.dialog.m_entries[row].get());
        EXPECT_EQ(&EntryOf(f.dialog, row), &e);
        EXPECT_EQ(e.letter, letters[row]);
        EXPECT_EQ(e.state, Idle);
        EXPECT_EQ(e.serial, 0u);  // no disc
        EXPECT_EQ(e.worker, nullptr);
        EXPECT_EQ(e.destination, "");
        EXPECT_EQ(e.owner, fake::FakeDialogWindow::kHandle);
        EXPECT_EQ(f.List().Rows()[row].image, row);
        EXPECT_FALSE(f.List().Ticked(row));
    }
    EXPECT_THAT(DriveImages(f).Images(), ElementsAre("shell:D:\\", "shell:F:\\"));
}

TEST(InitDriveList, AMachineWithoutCdDrivesGivesAnEmptyList) {
    DialogFixture f;
    f.Machine().AddDrive('C', 3);
    f.Open();
    EXPECT_EQ(f.List().GetItemCount(), 0);
    EXPECT_THAT(f.dialog.m_entries, IsEmpty());
    EXPECT_THAT(f.dialog.m_rowsInPass, IsEmpty());
    EXPECT_EQ(f.List().Columns().size(), 2u);
    EXPECT_THAT(DriveImages(f).Images(), IsEmpty());
}

TEST(InitDriveList, AnEmptyDriveShowsTheShellNameItsIconAndABlankStatus) {
    DialogFixture f;
    f.Machine().AddDrive('E');
    f.Open();
    EXPECT_EQ(f.Label(0), "CD Drive (E:)");
    EXPECT_EQ(f.Status(0), test::kStatusIdle);
    EXPECT_THAT(DriveImages(f).Images(), ElementsAre("shell:E:\\"));
}

TEST(InitDriveList, ADriveTheShellGivesNoIconForShowsTheProgramsDriveIcon) {
    DialogFixture f;
    f.Machine().AddDrive('E').hasShellIcon = false;
    f.Open();
    EXPECT_THAT(DriveImages(f).Images(), ElementsAre("resource:130"));
    EXPECT_EQ(f.List().Rows()[0].image, 0);
}

TEST(InitDriveList, ADiscAlreadyInShowsItsLabel) {
    DialogFixture f;
    f.Machine().AddDrive('E').disc = Disc("DATA", 0x1234);
    f.Open();
    EXPECT_EQ(f.Label(0), "DATA (E:)");
    EXPECT_EQ(f.Entry(0).serial, 0x1234u);
}

// A list view whose insertions can be made to fail.
class RefusingListView : public fake::FakeListView {
  public:
    using FakeListView::FakeListView;
    int InsertItem(int row, DriveEntry* param) override {
        if (refuse-- > 0) return -1;
        return FakeListView::InsertItem(row, param);
    }
    int refuse = 0;
};

TEST(InitDriveList, ARowThatCannotBeInsertedTakesItsRecordWithIt) {
    DialogFixture f;
    f.Machine().AddDrive('D');
    f.Machine().AddDrive('E');
    RefusingListView list(&f.fake.log);
    list.refuse = 1;
    f.dialog.Attach(f.fake.window);
    f.dialog.m_wndDrives = &list;
    f.dialog.m_imgDrives = f.fake.desktop.CreateImageList(16, 16, 0x21, 5, 0);

    InitDriveList(f.dialog);

    ASSERT_EQ(list.GetItemCount(), 1);
    ASSERT_EQ(f.dialog.m_entries.size(), 1u);
    EXPECT_EQ(list.GetItemParam(0), f.dialog.m_entries[0].get());
    EXPECT_EQ(list.GetItemParam(0)->letter, 'E');
    EXPECT_EQ(f.dialog.m_rowsInPass.size(), 1u);
    EXPECT_EQ(list.Rows()[0].status, test::kStatusIdle);
}

struct LabelCase {
    const char* name;
    bool disc;
    const char* label;
    bool trayOpen;
    const char* shown;
    std::uint32_t serial;
};

void PrintTo(const LabelCase& c, std::ostream* os) {
    *os << c.name;
}

class RowLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(RowLabels, FollowTheDiscInTheDrive) {
    const LabelCase& c = GetParam();
    DialogFixture f;
    f.Machine().AddDrive('E').displayName = "DVD RW Drive (E:)";
    f.Open();
    f.Machine().WithDrive('E', [&](fake::FakeDrive& d) {
        if (c.disc) d.disc = Disc(c.label, 0x5150);
        d.trayOpen = c.trayOpen;
    });

    UpdateDriveRow(f.dialog, 0, Idle);

    EXPECT_EQ(f.Label(0), c.shown);
    EXPECT_EQ(f.Entry(0).serial, c.serial);
}

INSTANTIATE_TEST_SUITE_P(
    Discs, RowLabels,
    ::testing::Values(LabelCase{"Labelled", true, "DATA", false, "DATA (E:)", 0x5150},
                      LabelCase{"Unlabelled", true, "", false, " (E:)", 0x5150},
                      LabelCase{"TrayOpen", true, "DATA", true, "DVD RW Drive (E:)", 0},
                      LabelCase{"NoDisc", false, "", false, "DVD RW Drive (E:)", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateDriveRow, RemovingTheDiscBringsTheDisplayNameBack) {
    DialogFixture f;
    f.Machine().AddDrive('E');
    f.Open();
    f.Machine().InsertDisc('E', Disc("DATA", 1));
    UpdateDriveRow(f.dialog, 0, Idle);
    ASSERT_EQ(f.Label(0), "DATA (E:)");

    f.Machine().RemoveDisc('E');
    UpdateDriveRow(f.dialog, 0, Idle);

    EXPECT_EQ(f.Label(0), "CD Drive (E:)");
    EXPECT_EQ(f.Entry(0).serial, 0u);
}

TEST(UpdateDriveRow, ADiscWithTheSameSerialKeepsTheFirstLabel) {
    DialogFixture f;
    f.Machine().AddDrive('E');
    f.Open();
    f.Machine().InsertDisc('E', Disc("FIRST", 77));
    UpdateDriveRow(f.dialog, 0, Idle);
    f.Machine().InsertDisc('E', Disc("SECOND", 77));
    UpdateDriveRow(f.dialog, 0, Idle);
    EXPECT_EQ(f.Label(0), "FIRST (E:)");

    f.Machine().InsertDisc('E', Disc("THIRD", 78));
    UpdateDriveRow(f.dialog, 0, Idle);
    EXPECT_EQ(f.Label(0), "THIRD (E:)");
}

TEST(UpdateDriveRow, NothingChangedWritesNothingButStillRepaints) {
    DialogFixture f;
    f.Machine().AddDrive('E').disc = Disc("DATA", 1);
    f.Open();
    const int textWrites = f.List().textWrites;
    const int statusWrites = f.List().statusWrites;
    const int updates = f.fake.window.updates;

    UpdateDriveRow(f.dialog, 0, Idle);
    UpdateDriveRow(f.dialog, 0, Idle);

    EXPECT_EQ(f.List().textWrites, textWrites);
    EXPECT_EQ(f.List().statusWrites, statusWrites);
    EXPECT_EQ(f.fake.window.updates, updates + 2);
    EXPECT_THAT(f.fake.log.Matching("SHGetFileInfoA"), IsEmpty());
    EXPECT_THAT(f.fake.log.Matching("ImageList_"), IsEmpty());
}

TEST(UpdateDriveRow, ADiscChangeReplacesTheRowsImageAndReleasesTheShellIcon) {
    DialogFixture f;
    f.Machine().AddDrive('D');
    f.Machine().AddDrive('E');
    f.Open();
    f.Machine().InsertDisc('E', Disc("DATA", 1));

    UpdateDriveRow(f.dialog, 1, Idle);

    EXPECT_EQ(DriveImages(f).Images().size(), 2u);
    EXPECT_EQ(f.List().Rows()[1].image, 1);
    const std::vector<std::string> lines = f.fake.log.Lines();
    EXPECT_THAT(lines, ::testing::Contains("SHGetFileInfoA E:\\ 0x321"));
    const int replaced = f.fake.log.IndexOf("ImageList_ReplaceIcon images0 1 shell:E:\\");
    const int destroyed = f.fake.log.IndexOf("DestroyIcon shell:E:\\");
    ASSERT_GE(replaced, 0);
    EXPECT_GT(destroyed, replaced);
}

TEST(UpdateDriveRow, TheProgramsOwnIconIsNotDestroyed) {
    DialogFixture f;
    f.Machine().AddDrive('E').hasShellIcon = false;
    f.Open();
    f.Machine().InsertDisc('E', Disc("DATA", 1));
    UpdateDriveRow(f.dialog, 0, Idle);
    EXPECT_THAT(f.fake.log.Matching("DestroyIcon"), IsEmpty());
    EXPECT_THAT(DriveImages(f).Images(), ElementsAre("resource:130"));
}

TEST(UpdateDriveRow, ARowPastTheImagesAppendsItsIcon) {
    DialogFixture f;
    f.Machine().AddDrive('D');
    f.Machine().AddDrive('E');
    f.dialog.Attach(f.fake.window);
    f.dialog.m_wndDrives = &f.List();
    f.dialog.m_imgDrives = f.fake.desktop.CreateImageList(16, 16, 0x21, 5, 0);
    DriveImages(f).FailOperations(true);
    InitDriveList(f.dialog);
    ASSERT_EQ(f.List().Rows()[1].image, -1);
    DriveImages(f).FailOperations(false);
    f.Machine().InsertDisc('E', Disc("DATA", 1));

    UpdateDriveRow(f.dialog, 1, Idle);

    EXPECT_EQ(f.List().Rows()[1].image, 0);
    EXPECT_THAT(DriveImages(f).Images(), ElementsAre("shell:E:\\"));
}

struct StatusCase {
    fake::FakeResources::Language language;
    DriveState state;
    const char* text;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << (c.language == fake::FakeResources::Language::English ? "English " : "Russian ")
        << c.state;
}

class StatusTexts : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTexts, AreTheStringOfTheState) {
    const StatusCase& c = GetParam();
    DialogFixture f(c.language);
    f.Machine().AddDrive('E');
    f.Open();
    if (c.state == Idle) UpdateDriveRow(f.dialog, 0, Waiting);
    const int writes = f.List().statusWrites;

    UpdateDriveRow(f.dialog, 0, c.state);

    EXPECT_EQ(f.Entry(0).state, c.state);
    EXPECT_EQ(f.Status(0), c.text);
    EXPECT_EQ(f.List().statusWrites, writes + 1);
}

INSTANTIATE_TEST_SUITE_P(
    States, StatusTexts,
    ::testing::Values(
        StatusCase{fake::FakeResources::Language::English, Idle, " "},
        StatusCase{fake::FakeResources::Language::English, Ejecting, "Disc ejecting"},
        StatusCase{fake::FakeResources::Language::English, Waiting, "Waiting for new disc"},
        StatusCase{fake::FakeResources::Language::English, Copying, "Disc copying"},
        StatusCase{fake::FakeResources::Language::Russian, Ejecting, "Выброс диска"},
        StatusCase{fake::FakeResources::Language::Russian, Waiting,
                   "Ожидание загрузки нового диска"},
        StatusCase{fake::FakeResources::Language::Russian, Copying, "Копирование диска"}));

struct CheckCase {
    std::uint32_t stateImage;
    bool checked;
};

void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << "state image " << (c.stateImage >> 12);
}

class CheckBoxes : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckBoxes, AreReadFromTheStateImage) {
    fake::CallLog log;
    fake::FakeListView list(&log);
    list.InsertItem(0, nullptr);
    list.SetItemState(0, GetParam().stateImage | 0x2, 0xF002);
    EXPECT_EQ(IsChecked(list, 0), GetParam().checked);
}

INSTANTIATE_TEST_SUITE_P(StateImages, CheckBoxes,
                         ::testing::Values(CheckCase{0x1000, false}, CheckCase{0x2000, true},
                                           CheckCase{0x3000, true}));

TEST(SetChecked, WritesStateImageOneOrTwoAndLeavesOtherStateBits) {
    fake::CallLog log;
    fake::FakeListView list(&log);
    list.InsertItem(0, nullptr);
    list.SetItemState(0, 0x2, 0x2);  // selected

    SetChecked(list, 0, true);
    EXPECT_EQ(list.GetItemState(0, 0xFFFFFFFF), 0x2002u);
    EXPECT_TRUE(IsChecked(list, 0));

    SetChecked(list, 0, false);
    EXPECT_EQ(list.GetItemState(0, 0xFFFFFFFF), 0x1002u);
    EXPECT_FALSE(IsChecked(list, 0));
}

}  // namespace
}  // namespace dravolin

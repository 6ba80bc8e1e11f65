// The dialog's message routing: which messages reach which handler, and what they answer.
#include <gtest/gtest.h>

#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "platform/fake/FakePlatform.h"
#include "shell/AutoPlay.h"

namespace dravolin {
namespace {

using fake::FakePlatform;

class MessageRouting : public ::testing::Test {
  protected:
    MessageRouting() {
        fp.machine->AddDrive('D');
        fp.machine->AddDrive('E');
        dlg.Attach(fp.window);
        dlg.OnInitDialog();
        fp.log.Clear();
    }
    ~MessageRouting() override { Send(win::kWmDestroy); }

    bool Send(std::uint32_t message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        result = -1;
        return dlg.OnWndMsg(message, wParam, lParam, &result);
    }
    bool Notify(std::uintptr_t id, std::int32_t code) {
        NotifyHeader header{fp.window.GetHandle(), id, static_cast<std::uint32_t>(code)};
        return Send(win::kWmNotify, id, reinterpret_cast<std::intptr_t>(&header));
    }
    // Puts the cursor on a point given in the drive list's client coordinates.
    void CursorOnList(Point client) {
        fp.desktop.cursor = {fp.window.list.origin.x + client.x,
                             fp.window.list.origin.y + client.y};
    }

    FakePlatform fp;
    CCopyDlg dlg{fp.Get()};
    std::intptr_t result = -1;
};

TEST_F(MessageRouting, OkIsSwallowedAndCancelIsLeftToTheFramework) {
    EXPECT_TRUE(Send(win::kWmCommand, win::kIdOk));
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(fp.log.Lines().empty()) << "Enter must do nothing at all";

    EXPECT_FALSE(Send(win::kWmCommand, win::kIdCancel));
    // A command with a notification code other than a click is not a button press.
    EXPECT_FALSE(Send(win::kWmCommand, (1u << 16) | IDC_BROWSE));
}

TEST_F(MessageRouting, CommandsReachBrowseAndOpenTarget) {
    fp.window.combo.SetWindowText(" C:\\x ");
    EXPECT_TRUE(Send(win::kWmCommand, IDC_OPEN_TARGET));
    EXPECT_EQ(fp.log.Matching("ShellExecuteA").size(), 1u);

    EXPECT_TRUE(Send(win::kWmCommand, IDC_BROWSE));
    EXPECT_EQ(fp.log.Matching("SHBrowseForFolderA").size(), 1u);
}

TEST_F(MessageRouting, TimerRunsTheDefaultProcessingThenAPoll) {
    fp.window.list.Tick(0, true);
    EXPECT_TRUE(Send(win::kWmTimer, 7));
    const int def = fp.log.IndexOf("Default 0x113");
    const int poll = fp.log.IndexOf("CreateThread");
    ASSERT_GE(def, 0);
    EXPECT_GT(poll, def);
    EXPECT_EQ(fp.window.list.Rows()[0].status, "Waiting for new disc")
        << "the timer identifier is not looked at";
}

TEST_F(MessageRouting, PaintsTheIconCentredOnlyWhenMinimised) {
    EXPECT_TRUE(Send(win::kWmPaint));
    EXPECT_EQ(fp.log.Lines(), std::vector<std::string>{"Default 0xf"});

    fp.log.Clear();
    fp.window.iconic = true;
    fp.window.clientRect = {0, 0, 37, 40};  // odd sizes show the rounding
    EXPECT_TRUE(Send(win::kWmPaint));
    EXPECT_EQ(fp.log.Lines(),
              (std::vector<std::string>{"EraseIconBackground", "DrawIcon 3 4 resource:128"}));
}

TEST_F(MessageRouting, DragIconIsTheApplicationIcon) {
    EXPECT_TRUE(Send(win::kWmQueryDragIcon));
    EXPECT_EQ(result, static_cast<std::intptr_t>(dlg.m_hIcon->Handle()));
}

TEST_F(MessageRouting, NotificationsAreMatchedByControlAndCode) {
    EXPECT_FALSE(Notify(IDC_TARGET, win::kNmDblClk));
    EXPECT_FALSE(Notify(IDC_DRIVES, -2 /* NM_CLICK */));
    EXPECT_FALSE(Send(0x0200 /* WM_MOUSEMOVE */));
    EXPECT_TRUE(fp.log.Matching("DeviceIoControl").empty());
}

TEST_F(MessageRouting, DoubleClickOnARowEjectsOrLoadsWithoutTouchingTheRow) {
    fp.machine->InsertDisc('E', {"DATA", 0x1234, {{"a.txt", "a"}}, {}});
    CursorOnList({20, fake::FakeListView::kRowHeight + 3});  // row 1: drive E
    const DriveState before = dlg.m_entries[1]->state;

    EXPECT_TRUE(Notify(IDC_DRIVES, win::kNmDblClk));
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(fp.machine->DriveSnapshot('E').trayOpen);

    EXPECT_TRUE(Notify(IDC_DRIVES, win::kNmDblClk));
    EXPECT_FALSE(fp.machine->DriveSnapshot('E').trayOpen);
    EXPECT_EQ(dlg.m_entries[1]->state, before);
    EXPECT_FALSE(fp.window.list.Ticked(1));

    fp.log.Clear();
    CursorOnList({20, 5 * fake::FakeListView::kRowHeight});  // below the rows
    EXPECT_TRUE(Notify(IDC_DRIVES, win::kNmDblClk));
    EXPECT_TRUE(fp.log.Matching("CreateFileA").empty());
}

TEST_F(MessageRouting, RightClickShowsTheDrivesMenuAtTheCursorInDialogCoordinates) {
    CursorOnList({30, fake::FakeListView::kRowHeight + 1});
    fp.window.list.Tick(1, true);
    dlg.m_entries[1]->state = Copying;  // the menu is the same whatever the row's state

    EXPECT_TRUE(Notify(IDC_DRIVES, win::kNmRClick));
    EXPECT_EQ(result, 0);
    const Point cursor = fp.desktop.cursor;
    const Point inDialog{cursor.x - fp.window.origin.x, cursor.y - fp.window.origin.y};
    EXPECT_EQ(fp.log.Matching("ContextMenu"),
              std::vector<std::string>{"ContextMenu " + fake::Hex(fake::FakeDialogWindow::kHandle) +
                                       " E:\\ " + std::to_string(inDialog.x) + " " +
                                       std::to_string(inDialog.y)});

    fp.log.Clear();
    CursorOnList({30, 10 * fake::FakeListView::kRowHeight});
    EXPECT_TRUE(Notify(IDC_DRIVES, win::kNmRClick));
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(fp.log.Matching("ContextMenu").empty());
}

TEST_F(MessageRouting, TimerTicksKeepArrivingWhileTheMenuIsOpen) {
    CursorOnList({30, 1});
    fp.window.list.Tick(1, true);
    fp.contextMenu.during = [&] {
        std::intptr_t inner = 0;
        dlg.OnWndMsg(win::kWmTimer, 1, 0, &inner);
    };
    EXPECT_TRUE(Notify(IDC_DRIVES, win::kNmRClick));
    EXPECT_EQ(fp.window.list.Rows()[1].status, "Waiting for new disc");
}

// The AutoPlay query is answered with 1 in both places, whatever it carries and whatever the
// drives are doing.
TEST_F(MessageRouting, AutoPlayQueryIsAnsweredWithOneBothWays) {
    const std::uint32_t query = dlg.m_nQueryCancelAutoPlay;
    ASSERT_NE(query, 0u);
    struct Case {
        std::uintptr_t wParam;
        std::intptr_t lParam;
        bool copying;
    };
    for (const Case& c : {Case{0, 0, false}, Case{0xFFFF, -1, false}, Case{3, 42, true}}) {
        dlg.m_entries[0]->state = c.copying ? Copying : Idle;
        fp.window.msgResult.reset();
        EXPECT_TRUE(Send(query, c.wParam, c.lParam));
        EXPECT_EQ(result, 1);
        EXPECT_EQ(fp.window.msgResult, 1);
    }
}

TEST(AutoPlay, ValueLivesFromSetUpToTeardownAndItsKeyStays) {
    FakePlatform fp;
    // Left behind by a run that was killed, in another type and with data, so that only a
    // write of this run's own can make it what is checked below: rewritten, and the run goes
    // on normally.
    constexpr std::uint32_t kRegExpandSz = 2;
    fp.registry.Put(win::RootKey::LocalMachine, kCancelAutoplayKey, kCancelAutoplayValue,
                    kRegExpandSz, "left");
    std::optional<fake::FakeRegistry::Stored> whileRunning;
    fp.host.whileOpen = [&](CCopyDlg&) {
        whileRunning =
            fp.registry.Find(win::RootKey::LocalMachine, kCancelAutoplayKey, kCancelAutoplayValue);
    };
    CCopyDlg dlg(fp.Get());
    dlg.DoModal();

    ASSERT_TRUE(whileRunning.has_value());
    EXPECT_EQ(whileRunning->type, win::kRegSz);
    EXPECT_EQ(whileRunning->data.size(), 0u);
    EXPECT_FALSE(
        fp.registry.Find(win::RootKey::LocalMachine, kCancelAutoplayKey, kCancelAutoplayValue));
    EXPECT_TRUE(fp.registry.KeyExists(win::RootKey::LocalMachine, kCancelAutoplayKey));
}

TEST(AutoPlay, NothingIsAnsweredBeforeTheMessageIsRegistered) {
    FakePlatform fp;
    CCopyDlg dlg(fp.Get());
    dlg.Attach(fp.window);
    std::intptr_t result = -1;
    EXPECT_FALSE(dlg.OnWndMsg(0 /* WM_NULL */, 0, 0, &result));
    EXPECT_FALSE(fp.window.msgResult.has_value());
}

}  // namespace
}  // namespace dravolin

// The dialog's set-up and teardown orders and the application's start-up, seen through the
// fake platform's call log.
#include <gtest/gtest.h>

#include "app/CopyApp.h"
#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "platform/fake/FakePlatform.h"
#include "shell/AutoPlay.h"

namespace dravolin {
namespace {

using fake::FakePlatform;

const std::string kHkcuKey = "HKCU Software\\Dravolin ";
const std::string kHklmCancel =
    std::string("HKLM ") + kCancelAutoplayKey + " " + kCancelAutoplayValue;

// Index of the first log line starting with each prefix, in order; fails when one is missing
// or out of order.
void ExpectInOrder(const fake::CallLog& log, const std::vector<std::string>& prefixes) {
    int from = 0;
    for (const std::string& prefix : prefixes) {
        const int at = log.IndexOf(prefix, from);
        ASSERT_GE(at, 0) << "missing after line " << from << ": " << prefix;
        from = at + 1;
    }
}

TEST(DialogLifecycle, InitialisesInOrderWithTheTimerLast) {
    FakePlatform fp;
    fp.machine->AddDrive('E');
    CCopyDlg dlg(fp.Get());
    dlg.Attach(fp.window);
    fp.log.Clear();

    EXPECT_TRUE(dlg.OnInitDialog());

    ExpectInOrder(fp.log, {
                              "SetIcon big resource:128",
                              "SetIcon small resource:128",
                              "ImageList_Create 16 16 0x21 5 0",
                              "ImageList_Create 16 16 0x21 20 0",
                              "GetDriveTypeA \\\\.\\A:\\",
                              "GetDriveTypeA \\\\.\\Z:\\",
                              "SHAutoComplete",
                              "SHGetValueA " + kHkcuKey + "Destination00",
                              "RegisterWindowMessageA QueryCancelAutoPlay",
                              "SHSetValueA " + kHklmCancel + " 1 0",
                              "SetTimer 1 1500",
                          });
    EXPECT_EQ(fp.log.Lines().back(), "SetTimer 1 1500");
    EXPECT_EQ(dlg.m_nTimer, 1u);
    EXPECT_EQ(dlg.m_wndDrives, &fp.window.list);
    EXPECT_EQ(dlg.m_wndTarget, &fp.window.combo);
    EXPECT_NE(dlg.m_nQueryCancelAutoPlay, 0u);
}

TEST(DialogLifecycle, TearsDownTimerFirstThenWorkersThenHistoryThenAutoPlay) {
    FakePlatform fp;
    fp.machine->AddDrive('D');
    fp.machine->AddDrive('E');
    fp.machine->AddVolume('C');
    CCopyDlg dlg(fp.Get());
    dlg.Attach(fp.window);
    dlg.OnInitDialog();
    fp.window.list.Tick(1, true);
    dlg.OnTimer(1);  // row 1 starts its tray worker, which keeps running
    ASSERT_EQ(fp.threads.Count(), 1);
    fp.threads.KeepRunning(0);
    fp.window.combo.SetWindowText("  C:\\Discs//  ");
    std::weak_ptr<DriveEntry> entry = dlg.m_entries.at(1);
    fp.log.Clear();

    std::intptr_t result = -1;
    EXPECT_TRUE(dlg.OnWndMsg(win::kWmDestroy, 0, 0, &result));

    ExpectInOrder(fp.log, {
                              "KillTimer 1",
                              "TerminateThread 0 1",
                              "CloseHandle thread 0",
                              "SHSetValueA " + kHkcuKey + "Destination00 1 9",
                              "SHDeleteValueA " + kHklmCancel,
                              "Default 0x2",
                          });
    EXPECT_EQ(fp.log.Lines().front(), "KillTimer 1");
    EXPECT_EQ(dlg.m_nTimer, 0u);
    EXPECT_TRUE(fp.window.timers.empty());
    EXPECT_TRUE(entry.expired()) << "the record is freed once its worker is stopped";
    EXPECT_EQ(fp.threads.At(0).exitCode, 1u);
    // Teardown normalises without preparing: nothing is created on disk.
    EXPECT_EQ(fp.log.IndexOf("SHPathPrepareForWriteA"), -1);
    EXPECT_EQ(
        fp.registry.Find(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00")->data,
        "C:\\Discs\\");
}

TEST(DialogLifecycle, TeardownWithAnEmptyTargetSavesTheHistoryUnchanged) {
    FakePlatform fp;
    fp.registry.Put(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00", win::kRegSz,
                    "C:\\Old\\");
    fp.registry.Put(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination01", win::kRegSz,
                    "D:\\Older\\");
    fp.host.whileOpen = [&](CCopyDlg&) { fp.window.combo.SetWindowText("   "); };
    CCopyDlg dlg(fp.Get());
    dlg.DoModal();

    EXPECT_EQ(
        fp.registry.Find(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00")->data,
        "C:\\Old\\");
    EXPECT_EQ(
        fp.registry.Find(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination01")->data,
        "D:\\Older\\");
    EXPECT_EQ(fp.log.Matching("SHSetValueA HKCU").size(), 2u);
}

TEST(DialogLifecycle, FailedTimerLeavesTheDialogRunning) {
    FakePlatform fp;
    fp.window.failTimer = true;
    CCopyDlg dlg(fp.Get());
    dlg.Attach(fp.window);
    EXPECT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(dlg.m_nTimer, 0u);
    std::intptr_t result = 0;
    EXPECT_TRUE(dlg.OnWndMsg(win::kWmDestroy, 0, 0, &result));
}

TEST(Application, RunsTheDialogBetweenComInitialisationAndUninitialisation) {
    FakePlatform fp;
    CCopyApp app(fp.Get());
    CCopyDlg* seenMainWindow = nullptr;
    fp.host.whileOpen = [&](CCopyDlg& dlg) {
        seenMainWindow = &dlg;
        EXPECT_EQ(app.m_pMainWnd, &dlg);
    };

    EXPECT_FALSE(app.InitInstance());

    ASSERT_NE(seenMainWindow, nullptr);
    ExpectInOrder(fp.log, {"CoInitialize", "InitCommonControls", "DoModal", "SetTimer 1 1500",
                           "KillTimer 1", "EndDialog", "CoUninitialize"});
    EXPECT_EQ(fp.log.Matching("CoInitialize").size(), 1u);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

}  // namespace
}  // namespace dravolin

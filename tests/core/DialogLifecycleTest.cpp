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
    EXPECT_TRUE(dlg.m_entries.empty());
    // This fake's killed thread releases its job, whose share of the record was the last.
    EXPECT_TRUE(entry.expired());
    EXPECT_EQ(fp.threads.At(0).exitCode, 1u);
    // Teardown normalises without preparing: nothing is created on disk.
    EXPECT_EQ(fp.log.IndexOf("SHPathPrepareForWriteA"), -1);
    EXPECT_EQ(
        fp.registry.Find(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00")->data,
        "C:\\Discs\\");
}

// The shell copy of the fake machine, under a share of its own whose end a test can watch.
class ForwardedCopy : public ShellCopy {
  public:
    explicit ForwardedCopy(ShellCopy& target) : target_(target) {}
    int FileOperation(const Operation& op) override { return target_.FileOperation(op); }

  private:
    ShellCopy& target_;
};

// Where a thread cannot be killed, a copy that runs at teardown goes on after the dialog is
// gone: it keeps its record and the services it was given, and its end touches nothing else.
TEST(DialogLifecycle, AWorkerThatCannotBeKilledOutlivesTheDialogWithItsRecordAndServices) {
    FakePlatform fp;
    fp.threads.CannotKill();
    fp.machine->AddDrive('E').disc = fake::FakeDisc{"DATA", 7, {{"a.txt", "A"}}, {}};
    fp.machine->AddVolume('C');
    Platform services = fp.Get();
    services.workers.copy = std::make_shared<ForwardedCopy>(*fp.machine);
    const std::weak_ptr<ShellCopy> copy = services.workers.copy;
    std::weak_ptr<DriveEntry> entry;
    {
        CCopyDlg dlg(services);
        dlg.Attach(fp.window);
        dlg.OnInitDialog();
        fp.window.combo.SetWindowText("C:\\Copies");
        fp.window.list.Tick(0, true);
        dlg.OnTimer(1);  // the tray-closing worker
        fp.threads.FinishAll();
        dlg.OnTimer(1);  // the copy worker, still pending at teardown
        ASSERT_EQ(fp.threads.Count(), 2);
        entry = dlg.m_entries.at(0);

        std::intptr_t result = -1;
        EXPECT_TRUE(dlg.OnWndMsg(win::kWmDestroy, 0, 0, &result));
        EXPECT_GE(fp.log.IndexOf("TerminateThread 1 1"), 0);
        EXPECT_TRUE(dlg.m_entries.empty());
    }
    services.workers = WorkerServices{};
    EXPECT_EQ(fp.threads.At(1).state, fake::FakeThreads::State::Pending);
    EXPECT_FALSE(entry.expired()) << "the worker's job keeps its record";
    EXPECT_FALSE(copy.expired()) << "the worker's job keeps its services";

    fp.threads.Finish(1);
    EXPECT_EQ(fp.threads.At(1).state, fake::FakeThreads::State::Ended);
    EXPECT_EQ(fp.machine->FileContent("C:\\Copies\\a.txt"), "A");
    EXPECT_TRUE(entry.expired()) << "the job's end releases the record";
    EXPECT_TRUE(copy.expired()) << "and the services";
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

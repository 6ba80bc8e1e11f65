// The whole program on the Win32 platform, its dialog driven from another thread the way a user
// and the shell would: real controls, the real (Wine) registry and the shell's own windows.
#include <gtest/gtest.h>

#include <atomic>

#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/win32/Win32Desktop.h"

namespace dravolin::win32::test {
namespace {

class Win32DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kAutoplayKey);
    }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey); }

    static std::string ComboText(HWND dialog) { return TextOf(::GetDlgItem(dialog, IDC_TARGET)); }
    static int ComboCount(HWND dialog) {
        return static_cast<int>(
            ::SendMessageA(::GetDlgItem(dialog, IDC_TARGET), CB_GETCOUNT, 0, 0));
    }
};

TEST_F(Win32DialogTest, TheAutoPlayValueIsThereWhileTheDialogRunsAndGoneAfterItsKeyKept) {
    RawValue whileRunning;
    ASSERT_TRUE(RunProgram(
        [&](HWND) { whileRunning = ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue); }));
    EXPECT_EQ(whileRunning.status, ERROR_SUCCESS);
    EXPECT_EQ(whileRunning.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(whileRunning.bytes.size(), 0u);

    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue).status,
              ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAutoplayKey));
}

TEST_F(Win32DialogTest, AValueLeftByAKilledRunIsWrittenAgainAndRemovedAtExit) {
    WriteRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue, REG_SZ, "left");
    RawValue whileRunning;
    ASSERT_TRUE(RunProgram(
        [&](HWND) { whileRunning = ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue); }));
    EXPECT_EQ(whileRunning.bytes.size(), 0u);
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue).status,
              ERROR_FILE_NOT_FOUND);
}

// What the window procedure returned for the last watched message, and what the dialog's
// message-result slot held at that moment, seen on the dialog's own thread right after the
// window procedure returned (a later timer tick or paint writes the slot again).
struct WatchedAnswer {
    UINT message = 0;
    std::atomic<LONG_PTR> result{-1};
    std::atomic<LONG_PTR> slot{-1};
};

WatchedAnswer& Watched() {
    static WatchedAnswer answer;
    return answer;
}

// A hook on the calling thread, which runs the dialog (a hook set from the driver's thread on
// the dialog's would be called through the driver's thread).
class AnswerWatch {
  public:
    explicit AnswerWatch(UINT message);
    ~AnswerWatch() { ::UnhookWindowsHookEx(hook_); }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;
    bool Installed() const { return hook_ != nullptr; }

  private:
    HHOOK hook_;
};

LRESULT CALLBACK WatchAnswers(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == Watched().message) {
        Watched().result = call->lResult;
        Watched().slot = ::GetWindowLongPtrA(call->hwnd, DWLP_MSGRESULT);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

AnswerWatch::AnswerWatch(UINT message)
    : hook_(::SetWindowsHookExA(WH_CALLWNDPROCRET, WatchAnswers, nullptr, ::GetCurrentThreadId())) {
    Watched().message = message;
    Watched().result = -1;
    Watched().slot = -1;
}

TEST_F(Win32DialogTest, TheQueryCancelAutoPlayMessageIsAnsweredOneBothWays) {
    const UINT query = ::RegisterWindowMessageA("QueryCancelAutoPlay");
    ASSERT_NE(query, 0u);
    const AnswerWatch watch(query);
    ASSERT_TRUE(watch.Installed());
    struct Arguments {
        WPARAM wParam;
        LPARAM lParam;
    };
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        for (const Arguments& args :
             {Arguments{0, 0}, Arguments{5, 7}, Arguments{~WPARAM{0}, -1}}) {
            Watched().result = -1;
            Watched().slot = -1;
            EXPECT_EQ(::SendMessageA(dialog, query, args.wParam, args.lParam), 1);
            EXPECT_EQ(Watched().result.load(), 1);
            EXPECT_EQ(Watched().slot.load(), 1);
        }
        // Another registered message is not answered that way.
        const UINT other = ::RegisterWindowMessageA("DravolinSomethingElse");
        EXPECT_EQ(::SendMessageA(dialog, other, 0, 0), 0);
    }));
}

TEST_F(Win32DialogTest, OkDoesNotCloseTheDialog) {
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(::IsWindowVisible(dialog));
        ::SendMessageA(dialog, WM_NULL, 0, 0);
        EXPECT_TRUE(::IsWindowVisible(dialog));
    }));
}

TEST_F(Win32DialogTest, EscapeEndsTheDialog) {
    HWND closed = nullptr;
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_DRIVES);
        ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
        ::PostMessageA(list, WM_KEYDOWN, VK_ESCAPE, 1);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
        closed = dialog;
    }));
    EXPECT_FALSE(::IsWindow(closed));
}

TEST_F(Win32DialogTest, TheCloseBoxEndsTheDialog) {
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    }));
}

TEST_F(Win32DialogTest, EnterRunsBrowseWhichOpensTheFolderBrowserWithItsTitle) {
    Win32Resources resources(::GetModuleHandleA(nullptr));
    const std::string title = resources.LoadString(IDS_BROWSE_TITLE);
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        const DWORD uiThread = ::GetWindowThreadProcessId(dialog, nullptr);
        HWND list = ::GetDlgItem(dialog, IDC_DRIVES);
        ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
        ::PostMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
        ::PostMessageA(list, WM_KEYUP, VK_RETURN, 0xC0000001);
        HWND browser = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] { return (browser = FindOwnedWindow(uiThread, dialog, "#32770")) != nullptr; }));
        EXPECT_NE(FindChildByText(browser, title), nullptr);
        EXPECT_TRUE(::IsWindowVisible(dialog));
        ::PostMessageA(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(browser); }));
        // Cancelled: the combo box and the history are untouched.
        EXPECT_EQ(ComboCount(dialog), 0);
        EXPECT_EQ(ComboText(dialog), "");
    }));
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00").status,
              ERROR_FILE_NOT_FOUND);
}

// Picks the tree item whose text contains `fragment` among the children of the tree's roots.
HTREEITEM FindTreeItem(HWND tree, const std::string& fragment) {
    for (auto root =
             reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
         root != nullptr; root = reinterpret_cast<HTREEITEM>(::SendMessageA(
                              tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(root)))) {
        ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
        for (auto item = reinterpret_cast<HTREEITEM>(
                 ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
             item != nullptr;
             item = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                               reinterpret_cast<LPARAM>(item)))) {
            char text[MAX_PATH] = {};
            TVITEMA info{};
            info.mask = TVIF_TEXT;
            info.hItem = item;
            info.pszText = text;
            info.cchTextMax = sizeof(text);
            ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
            if (std::string(text).find(fragment) != std::string::npos) return item;
        }
    }
    return nullptr;
}

TEST_F(Win32DialogTest, ADriveRootChosenInTheBrowserBecomesTheFirstEntryAndIsStored) {
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        const DWORD uiThread = ::GetWindowThreadProcessId(dialog, nullptr);
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
        HWND browser = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] { return (browser = FindOwnedWindow(uiThread, dialog, "#32770")) != nullptr; }));
        HWND tree = FindChildByClass(browser, "SysTreeView32");
        ASSERT_NE(tree, nullptr);
        HTREEITEM drive = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (drive = FindTreeItem(tree, "(C:)")) != nullptr; }));
        ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(drive));
        ::PostMessageA(browser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(browser); }));
        EXPECT_TRUE(WaitUntil([&] { return ComboCount(dialog) == 1; }));
        EXPECT_EQ(ComboText(dialog), "C:\\");
        // Stored at once, before the dialog closes.
        const RawValue stored = ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00");
        EXPECT_EQ(stored.status, ERROR_SUCCESS);
        EXPECT_EQ(stored.bytes, "C:\\");
    }));
}

TEST_F(Win32DialogTest, TheHistoryIsLoadedAndTheTextAtExitIsStoredRawWithoutNul) {
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00", REG_SZ, "C:\\windows\\");
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination01", REG_SZ, "C:\\Old\\");
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        EXPECT_EQ(ComboCount(dialog), 2);
        EXPECT_EQ(ComboText(dialog), "C:\\windows\\");
        HWND combo = ::GetDlgItem(dialog, IDC_TARGET);
        const std::string typed = "  C:\\Dravolin Test\\Copies//  ";
        ::SendMessageA(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        EXPECT_EQ(ComboText(dialog), typed);
    }));
    const std::string expected = "C:\\Dravolin Test\\Copies\\";
    const RawValue first = ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00");
    EXPECT_EQ(first.status, ERROR_SUCCESS);
    EXPECT_EQ(first.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(first.bytes, expected);
    EXPECT_EQ(first.bytes.size(), expected.size());
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination01").bytes, "C:\\windows\\");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination02").bytes, "C:\\Old\\");
}

TEST_F(Win32DialogTest, TheCdDriveHasARowWithItsLabelAndAnIdleStatus) {
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_DRIVES);
        ASSERT_EQ(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);
        char text[MAX_PATH] = {};
        LVITEMA item{};
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        ::SendMessageA(list, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, "DATA (E:)");
        item.iSubItem = 1;
        ::SendMessageA(list, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, " ");
        EXPECT_EQ(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 180);
        RECT client{};
        ::GetClientRect(list, &client);
        EXPECT_EQ(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0),
                  client.right - ::GetSystemMetrics(SM_CXVSCROLL) - 182);
    }));
}

TEST_F(Win32DialogTest, ATickedDriveIsSoonWaitingForADiscOnItsWorker) {
    Win32Resources resources(::GetModuleHandleA(nullptr));
    const std::string waiting = resources.LoadString(IDS_STATE_WAITING);
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        HWND list = ::GetDlgItem(dialog, IDC_DRIVES);
        ListView_SetCheckState(list, 0, TRUE);
        // The next poll (every 1500 ms) starts the tray-closing worker under that status.
        EXPECT_TRUE(WaitUntil([&] {
            char text[MAX_PATH] = {};
            LVITEMA item{};
            item.iSubItem = 1;
            item.pszText = text;
            item.cchTextMax = sizeof(text);
            ::SendMessageA(list, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
            return waiting == text;
        }));
    }));
}

TEST_F(Win32DialogTest, TheDragIconIsTheApplicationIcon) {
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        const LRESULT dragIcon = ::SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0);
        EXPECT_NE(dragIcon, 0);
        EXPECT_EQ(dragIcon, ::SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
    }));
}

TEST_F(Win32DialogTest, ARightClickOnARowShowsTheShellMenuAndDismissingItRestoresTheDialog) {
    ASSERT_TRUE(RunProgram([&](HWND dialog) {
        const LONG_PTR ownProc = ::GetWindowLongPtrA(dialog, GWLP_WNDPROC);
        HWND list = ::GetDlgItem(dialog, IDC_DRIVES);
        RECT row{};
        row.left = LVIR_BOUNDS;
        ASSERT_TRUE(::SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)));
        POINT at{row.left + 40, (row.top + row.bottom) / 2};
        ::ClientToScreen(list, &at);
        ASSERT_TRUE(::SetCursorPos(at.x, at.y));
        INPUT click[2] = {};
        click[0].type = click[1].type = INPUT_MOUSE;
        click[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
        click[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
        ASSERT_EQ(::SendInput(2, click, sizeof(INPUT)), 2u);

        HWND menu = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (menu = FindVisibleTopLevel("#32768")) != nullptr; }));
        // While the menu is open the dialog is subclassed (the shell's menu object offers
        // IContextMenu2 or 3) and still answers.
        EXPECT_NE(::GetWindowLongPtrA(dialog, GWLP_WNDPROC), ownProc);
        EXPECT_EQ(::SendMessageA(dialog, ::RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0), 1);
        RECT menuRect{};
        ::GetWindowRect(menu, &menuRect);
        EXPECT_EQ(menuRect.left, at.x);
        EXPECT_EQ(menuRect.top, at.y);

        ::PostMessageA(dialog, WM_CANCELMODE, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(menu); }));
        EXPECT_TRUE(
            WaitUntil([&] { return ::GetWindowLongPtrA(dialog, GWLP_WNDPROC) == ownProc; }));
        EXPECT_TRUE(::IsWindowVisible(dialog));
    }));
}

}  // namespace
}  // namespace dravolin::win32::test

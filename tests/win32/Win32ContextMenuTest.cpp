// The drive context menu's routine with a shell namespace of the test's own (TestShell): the
// menu is a real popup menu tracked on this thread, chosen or dismissed from another thread,
// and every reference and item-ID list the routine takes is counted back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include "TestShell.h"
#include "Win32TestSupport.h"
#include "platform/win32/Win32ContextMenu.h"

namespace dravolin::win32::test {
namespace {

constexpr LRESULT kDrawAnswer = 0x55;
constexpr LRESULT kMeasureAnswer = 0x66;
constexpr LRESULT kInitPopupAnswer = 0x77;
constexpr LONG_PTR kUserData = 0x5EED;  // in the owner's user-data slot before the menu
constexpr WPARAM kPopup = 0x1234;       // the wParam of the WM_INITMENUPOPUP the test sends
constexpr Point kAt{10, 20};
const char* const kCallsProperty = "DravolinTestOwnerCalls";

// The menu messages the owner's own window procedure received.
struct OwnerCalls {
    std::mutex mutex;
    std::vector<std::pair<UINT, WPARAM>> received;

    bool Received(UINT message, WPARAM wParam) {
        std::lock_guard lock(mutex);
        return std::find(received.begin(), received.end(), std::make_pair(message, wParam)) !=
               received.end();
    }
    int Count(UINT message) {
        std::lock_guard lock(mutex);
        return static_cast<int>(std::count_if(received.begin(), received.end(),
                                              [&](const auto& m) { return m.first == message; }));
    }
};

// Answers the three menu messages itself, with values of its own.
LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM || message == WM_MEASUREITEM || message == WM_INITMENUPOPUP) {
        if (auto* calls = static_cast<OwnerCalls*>(::GetPropA(window, kCallsProperty))) {
            std::lock_guard lock(calls->mutex);
            calls->received.emplace_back(message, wParam);
        }
        return message == WM_DRAWITEM      ? kDrawAnswer
               : message == WM_MEASUREITEM ? kMeasureAnswer
                                           : kInitPopupAnswer;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// A visible top-level window of this thread that owns the menu.
class OwnerWindow {
  public:
    OwnerWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = OwnerProc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DravolinTestOwner";
        ::RegisterClassA(&windowClass);  // fails harmlessly when a test before registered it
        window_ =
            ::CreateWindowExA(0, "DravolinTestOwner", "Owner", WS_POPUP | WS_VISIBLE, 150, 120, 300,
                              200, nullptr, nullptr, windowClass.hInstance, nullptr);
        ::SetPropA(window_, kCallsProperty, &calls);
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, kUserData);
    }
    ~OwnerWindow() {
        ::RemovePropA(window_, kCallsProperty);
        ::DestroyWindow(window_);
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND Get() const { return window_; }
    LONG_PTR Proc() const { return ::GetWindowLongPtrA(window_, GWLP_WNDPROC); }
    LONG_PTR UserData() const { return ::GetWindowLongPtrA(window_, GWLP_USERDATA); }

    OwnerCalls calls;

  private:
    HWND window_ = nullptr;
};

// What another thread saw and got back while the menu was open.
struct WhileOpen {
    bool shown = false;
    bool closed = false;
    LONG_PTR proc = 0;
    LONG_PTR userData = 0;
    RECT menuRect{};
    LRESULT drawControl = -1, measureControl = -1, drawItem = -1, measureItem = -1;
    LRESULT initPopup = -1;
};

// Runs `show` on this thread, which tracks the menu. Another thread waits for the menu, looks
// at the owner, sends it the menu messages, then types `key` in the menu (0: Escape).
WhileOpen DriveMenu(HWND owner, char key, const std::function<void()>& show) {
    WhileOpen seen;
    std::thread driver([&] {
        HWND menu = nullptr;
        seen.shown = WaitUntil([&] { return (menu = FindVisibleTopLevel("#32768")) != nullptr; });
        if (seen.shown) {
            seen.proc = ::GetWindowLongPtrA(owner, GWLP_WNDPROC);
            seen.userData = ::GetWindowLongPtrA(owner, GWLP_USERDATA);
            ::GetWindowRect(menu, &seen.menuRect);
            DRAWITEMSTRUCT draw{};
            MEASUREITEMSTRUCT measure{};
            const auto drawAt = reinterpret_cast<LPARAM>(&draw);
            const auto measureAt = reinterpret_cast<LPARAM>(&measure);
            // From controls 5 and 7, then about menu items (wParam 0).
            seen.drawControl = ::SendMessageA(owner, WM_DRAWITEM, 5, drawAt);
            seen.measureControl = ::SendMessageA(owner, WM_MEASUREITEM, 7, measureAt);
            seen.drawItem = ::SendMessageA(owner, WM_DRAWITEM, 0, drawAt);
            seen.measureItem = ::SendMessageA(owner, WM_MEASUREITEM, 0, measureAt);
            seen.initPopup = ::SendMessageA(owner, WM_INITMENUPOPUP, kPopup, 0);
            if (key != 0) {
                ::PostMessageA(menu, WM_CHAR, static_cast<WPARAM>(key), 0);
            } else {
                ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
            }
            seen.closed = WaitUntil([&] { return !::IsWindowVisible(menu); });
        }
        // Whatever went wrong, the menu must end, or `show` would never return.
        if (!seen.closed) ::PostMessageA(owner, WM_CANCELMODE, 0, 0);
    });
    show();
    driver.join();
    return seen;
}

struct Tracked {
    const char* name;
    int level;
    char key;     // the command's mnemonic; 0 dismisses the menu
    UINT offset;  // the chosen command's offset from the first identifier
    ShellFailure failure;
    bool result;  // what the routine returns
};

void PrintTo(const Tracked& c, std::ostream* os) {
    *os << c.name;
}

class ContextMenuTracking : public ::testing::TestWithParam<Tracked> {};

TEST_P(ContextMenuTracking, RoutesTheMenuMessagesByLevelAndInvokesTheChosenOffset) {
    const Tracked& c = GetParam();
    OwnerWindow owner;
    const LONG_PTR ownProc = owner.Proc();
    TestShell shell(c.level, c.failure);
    Win32ShellContextMenu contextMenu(shell);
    bool result = !c.result;

    const WhileOpen seen = DriveMenu(owner.Get(), c.key, [&] {
        result = contextMenu.Show(reinterpret_cast<WindowHandle>(owner.Get()), "E:\\", kAt);
    });

    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(seen.closed);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(shell.ParsedName(), L"E:\\");
    EXPECT_EQ(shell.Binds(), 2);
    POINT corner{kAt.x, kAt.y};
    ::ClientToScreen(owner.Get(), &corner);
    EXPECT_EQ(seen.menuRect.left, corner.x);
    EXPECT_EQ(seen.menuRect.top, corner.y);

    const MenuCalls calls = shell.Menu().Calls();
    EXPECT_EQ(calls.queries, 1);
    EXPECT_EQ(calls.indexMenu, 0u);
    EXPECT_EQ(calls.idCmdFirst, 1u);
    EXPECT_EQ(calls.idCmdLast, 0xFFFFFFFFu);
    EXPECT_EQ(calls.flags, static_cast<UINT>(CMF_NORMAL));

    // Controls' drawing messages reach the owner's own procedure at every level.
    EXPECT_EQ(seen.drawControl, kDrawAnswer);
    EXPECT_EQ(seen.measureControl, kMeasureAnswer);
    EXPECT_TRUE(owner.calls.Received(WM_DRAWITEM, 5));
    EXPECT_TRUE(owner.calls.Received(WM_MEASUREITEM, 7));
    EXPECT_EQ(calls.handled2, 0) << "HandleMenuMsg2 is never used";
    if (c.level == 1) {
        // Nothing is subclassed: the owner's own procedure answers everything.
        EXPECT_EQ(seen.proc, ownProc);
        EXPECT_EQ(seen.userData, kUserData);
        EXPECT_EQ(seen.drawItem, kDrawAnswer);
        EXPECT_EQ(seen.measureItem, kMeasureAnswer);
        EXPECT_EQ(seen.initPopup, kInitPopupAnswer);
        EXPECT_TRUE(calls.handled.empty());
        EXPECT_GE(owner.calls.Count(WM_INITMENUPOPUP), 2) << "the menu's own and the test's";
    } else {
        EXPECT_EQ(seen.proc, reinterpret_cast<LONG_PTR>(&ContextMenuWndProc));
        EXPECT_NE(seen.userData, kUserData);
        // Menu items' messages and every WM_INITMENUPOPUP go to the menu object alone.
        EXPECT_EQ(seen.drawItem, 1);
        EXPECT_EQ(seen.measureItem, 1);
        EXPECT_EQ(seen.initPopup, 0);
        EXPECT_FALSE(owner.calls.Received(WM_DRAWITEM, 0));
        EXPECT_FALSE(owner.calls.Received(WM_MEASUREITEM, 0));
        EXPECT_EQ(owner.calls.Count(WM_INITMENUPOPUP), 0);
        auto has = [&](UINT m, WPARAM w) {
            return std::find(calls.handled.begin(), calls.handled.end(), std::make_pair(m, w)) !=
                   calls.handled.end();
        };
        EXPECT_TRUE(has(WM_DRAWITEM, 0));
        EXPECT_TRUE(has(WM_MEASUREITEM, 0));
        EXPECT_TRUE(has(WM_INITMENUPOPUP, kPopup));
        EXPECT_FALSE(has(WM_DRAWITEM, 5));
        EXPECT_FALSE(has(WM_MEASUREITEM, 7));
    }

    if (c.key == 0) {
        EXPECT_EQ(calls.invocations, 0);
    } else {
        ASSERT_EQ(calls.invocations, 1);
        EXPECT_TRUE(calls.verbIsOffset);
        EXPECT_EQ(LOWORD(reinterpret_cast<UINT_PTR>(calls.invoked.lpVerb)), c.offset);
        EXPECT_EQ(calls.invoked.cbSize, sizeof(CMINVOKECOMMANDINFO));
        EXPECT_EQ(calls.invoked.hwnd, owner.Get());
        EXPECT_EQ(calls.invoked.nShow, SW_SHOWNORMAL);
        EXPECT_EQ(calls.invoked.fMask, 0u);
        EXPECT_EQ(calls.invoked.lpParameters, nullptr);
        EXPECT_EQ(calls.invoked.lpDirectory, nullptr);
        EXPECT_EQ(calls.procAtInvocation, ownProc) << "the command runs unsubclassed";
    }
    EXPECT_EQ(owner.Proc(), ownProc);
    EXPECT_EQ(shell.Leaks(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ContextMenuTracking,
    ::testing::Values(
        Tracked{"Level1FirstCommand", 1, 'a', TestMenu::kOffsets[0], ShellFailure::None, true},
        Tracked{"Level2SecondCommand", 2, 'b', TestMenu::kOffsets[1], ShellFailure::None, true},
        Tracked{"Level3ThirdCommand", 3, 'c', TestMenu::kOffsets[2], ShellFailure::None, true},
        Tracked{"Level1Dismissed", 1, 0, 0, ShellFailure::None, false},
        Tracked{"Level3Dismissed", 3, 0, 0, ShellFailure::None, false},
        Tracked{"Level2CommandFails", 2, 'c', TestMenu::kOffsets[2], ShellFailure::Invoke, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct Failing {
    const char* name;
    ShellFailure failure;
};

void PrintTo(const Failing& c, std::ostream* os) {
    *os << c.name;
}

class ContextMenuFailure : public ::testing::TestWithParam<Failing> {};

// No menu is shown, nothing is invoked, the owner is left as it was, and everything taken is
// given back.
TEST_P(ContextMenuFailure, ReleasesEverythingAndShowsNothing) {
    OwnerWindow owner;
    const LONG_PTR ownProc = owner.Proc();
    for (int level = 1; level <= 3; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        TestShell shell(level, GetParam().failure);
        Win32ShellContextMenu contextMenu(shell);
        EXPECT_FALSE(contextMenu.Show(reinterpret_cast<WindowHandle>(owner.Get()), "E:\\", kAt));
        EXPECT_TRUE(shell.FailureReached());
        EXPECT_EQ(shell.Leaks(), "");
        EXPECT_EQ(shell.Menu().Calls().invocations, 0);
        EXPECT_EQ(owner.Proc(), ownProc);
        EXPECT_EQ(owner.UserData(), kUserData);
        EXPECT_EQ(FindVisibleTopLevel("#32768"), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ContextMenuFailure,
    ::testing::Values(Failing{"NoAllocator", ShellFailure::Malloc},
                      Failing{"NoDesktopFolder", ShellFailure::DesktopFolder},
                      Failing{"NoSecondDesktopFolder", ShellFailure::SecondDesktopFolder},
                      Failing{"ParseFails", ShellFailure::Parse},
                      Failing{"ParseGivesNoList", ShellFailure::ParseGivesNoList},
                      Failing{"EmptyList", ShellFailure::EmptyList},
                      Failing{"CopyNotAllocated", ShellFailure::CopyAllocation},
                      Failing{"SecondBindFails", ShellFailure::SecondBind},
                      Failing{"NoUiObject", ShellFailure::UiObject},
                      Failing{"QueryContextMenuFails", ShellFailure::QueryContextMenu}),
    [](const auto& info) { return std::string(info.param.name); });

// A conversion that fails raises its error out of the routine; what was taken by then is given
// back on the way, and the context releases the allocator.
TEST(ContextMenuConversion, AFailedConversionReleasesEverythingOnItsWayOut) {
    OwnerWindow owner;
    TestShell shell(3, ShellFailure::None);
    {
        ShellMenuContext context;
        ASSERT_EQ(shell.GetMalloc(&context.allocator), S_OK);
        EXPECT_THROW(ShowShellContextMenu(shell, context, owner.Get(), "E:\\", kAt.x, kAt.y, 65533),
                     ConversionError);
    }
    EXPECT_EQ(shell.Leaks(), "");
    EXPECT_EQ(shell.Binds(), 0);
}

}  // namespace
}  // namespace dravolin::win32::test

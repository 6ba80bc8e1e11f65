// Dravolin.exe itself, started as its own process in the test prefix, whose drive E: is a
// CD-ROM drive holding a disc labelled DATA. Driven and read from this process; screenshots of
// the dialog go to the build folder.
#include <gtest/gtest.h>

#include "DravolinProcess.h"
#include "RemoteListView.h"
#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/win32/Win32Desktop.h"

namespace dravolin::win32::test {
namespace {

// Starts Dravolin.exe, ticks the CD drive, checks what the dialog shows, takes its screenshot
// and closes it with the Exit button.
void RunDravolinExe(const std::string& screenshotName) {
    const std::string screenshots = Env("DRAVOLIN_SCREENSHOTS");
    DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
    ::SHCreateDirectoryExA(nullptr, "C:\\Discs\\2024", nullptr);
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00", REG_SZ, "C:\\Discs\\2024\\");
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination01", REG_SZ, "C:\\Discs\\");

    DravolinProcess program;
    HWND dialog = program.Dialog();
    ASSERT_NE(dialog, nullptr) << program.Failure();
    HWND list = ::GetDlgItem(dialog, IDC_DRIVES);
    EXPECT_EQ(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(RowText(list, 0, 0), "DATA (E:)");
    EXPECT_EQ(RowText(list, 0, 1), " ");
    EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDC_TARGET)), "C:\\Discs\\2024\\");
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue).status, ERROR_SUCCESS);

    // Ticked, the drive is "Waiting for new disc" from the next poll on, its tray-closing
    // worker started. (Wine cannot close a tray of a folder-backed drive, so no copy follows.)
    SetRowChecked(list, 0, true);
    Win32Resources resources(::GetModuleHandleA(nullptr));
    const std::string waiting = resources.LoadString(IDS_STATE_WAITING);
    EXPECT_TRUE(WaitUntil([&] { return RowText(list, 0, 1) == waiting; }));

    if (!screenshots.empty()) {
        ::SHCreateDirectoryExA(nullptr, WindowsPathOf(screenshots).c_str(), nullptr);
        const std::string path = WindowsPathOf(screenshots + "/" + screenshotName);
        EXPECT_TRUE(SaveScreenshot(dialog, path)) << path;
    }

    EXPECT_EQ(program.Close(), std::optional<DWORD>(0));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue).status,
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00").bytes, "C:\\Discs\\2024\\");
    DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
}

TEST(EndToEnd, DravolinExeShowsTheCdDriveWithItsLabelAndRunsItsCycle) {
    RunDravolinExe("dravolin-en.png");
}

TEST(RussianEndToEnd, DravolinExeShowsTheCdDriveWithItsLabelAndRunsItsCycle) {
    RunDravolinExe("dravolin-ru.png");
}

}  // namespace
}  // namespace dravolin::win32::test

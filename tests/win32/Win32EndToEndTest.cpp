// Dravolin.exe itself, started as its own process in the test prefix, whose drive E: is a
// CD-ROM drive holding a disc labelled DATA. Driven and read from this process; screenshots of
// the dialog go to the build folder.
#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Desktop.h"

namespace dravolin::win32::test {
namespace {

// Memory in another process for the list-view messages, which carry pointers.
class RemoteBuffer {
  public:
    RemoteBuffer(DWORD processId, std::size_t size)
        : process_(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                                 processId)),
          size_(size) {
        if (process_.Valid()) {
            memory_ = ::VirtualAllocEx(process_.Get(), nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                       PAGE_READWRITE);
        }
    }
    ~RemoteBuffer() {
        if (memory_ != nullptr) ::VirtualFreeEx(process_.Get(), memory_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* Address() const { return static_cast<char*>(memory_); }
    bool Write(std::size_t offset, const void* data, std::size_t size) {
        return ::WriteProcessMemory(process_.Get(), Address() + offset, data, size, nullptr);
    }
    bool Read(std::size_t offset, void* data, std::size_t size) const {
        return ::ReadProcessMemory(process_.Get(), Address() + offset, data, size, nullptr);
    }
    bool Valid() const { return memory_ != nullptr; }

  private:
    UniqueHandle process_;
    std::size_t size_;
    void* memory_ = nullptr;
};

std::string RowText(HWND list, int row, int column) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(list, &processId);
    RemoteBuffer remote(processId, 4096);
    if (!remote.Valid()) return "<no access>";
    LVITEMA item{};
    item.iSubItem = column;
    item.cchTextMax = MAX_PATH;
    item.pszText = remote.Address() + sizeof(LVITEMA);
    remote.Write(0, &item, sizeof(item));
    ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote.Address()));
    char text[MAX_PATH + 1] = {};
    remote.Read(sizeof(LVITEMA), text, MAX_PATH);
    return text;
}

void Tick(HWND list, int row) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(list, &processId);
    RemoteBuffer remote(processId, sizeof(LVITEMA));
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(2);
    remote.Write(0, &item, sizeof(item));
    ::SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.Address()));
}

// Starts Dravolin.exe, ticks the CD drive, checks what the dialog shows, takes its screenshot
// and closes it with the Exit button.
void RunDravolinExe(const std::string& screenshotName) {
    const std::string exe = Env("DRAVOLIN_EXE");
    const std::string screenshots = Env("DRAVOLIN_SCREENSHOTS");
    ASSERT_FALSE(exe.empty()) << "DRAVOLIN_EXE is not set";
    DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
    ::SHCreateDirectoryExA(nullptr, "C:\\Discs\\2024", nullptr);
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00", REG_SZ, "C:\\Discs\\2024\\");
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination01", REG_SZ, "C:\\Discs\\");

    std::string commandLine(1, '"');
    commandLine.append(WindowsPathOf(exe)).push_back('"');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &started))
        << commandLine;
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);

    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindDialogOf(started.dwProcessId)) != nullptr; }));
    HWND list = ::GetDlgItem(dialog, IDC_DRIVES);
    EXPECT_EQ(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(RowText(list, 0, 0), "DATA (E:)");
    EXPECT_EQ(RowText(list, 0, 1), " ");
    EXPECT_EQ(TextOf(::GetDlgItem(dialog, IDC_TARGET)), "C:\\Discs\\2024\\");
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue).status, ERROR_SUCCESS);

    // Ticked, the drive is "Waiting for new disc" from the next poll on, its tray-closing
    // worker started. (Wine cannot close a tray of a folder-backed drive, so no copy follows.)
    Tick(list, 0);
    Win32Resources resources(::GetModuleHandleA(nullptr));
    const std::string waiting = resources.LoadString(IDS_STATE_WAITING);
    EXPECT_TRUE(WaitUntil([&] { return RowText(list, 0, 1) == waiting; }));

    if (!screenshots.empty()) {
        ::SHCreateDirectoryExA(nullptr, WindowsPathOf(screenshots).c_str(), nullptr);
        const std::string path = WindowsPathOf(screenshots + "/" + screenshotName);
        EXPECT_TRUE(SaveScreenshot(dialog, path)) << path;
    }

    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
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

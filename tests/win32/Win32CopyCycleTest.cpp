// The whole copy cycle under Wine: the real dialog, its poll, real worker threads and the real
// SHFileOperationA copying from drive E:, a CD-ROM drive backed by a folder. Wine cannot carry
// the device commands on such a drive, so only the media test is the test's: a flag it sets.
// Eject and load still go to the real device, which refuses them; the cycle absorbs that.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <fstream>
#include <map>
#include <memory>
#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/archive/Win32ArchiveWindows.h"
#include "platform/win32/archive/Win32Archiver.h"
#include "archive/ArchiveLog.h"

namespace dravolin::win32::test {
namespace {

// The media test of every drive answers from `present`; the other commands reach the real
// device. An eject takes the medium out, as an opening tray does. Any thread.
class TestMedia : public DeviceControl {
  public:
    std::shared_ptr<DeviceControl> real;
    std::atomic<bool> present{false};
    std::atomic<int> loads{0};
    std::atomic<int> ejects{0};
    std::atomic<int> refused{0};  // eject and load commands the real device refused

    std::unique_ptr<Device> Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                                 std::uint32_t disposition) override {
        std::unique_ptr<Device> device = real->Open(path, access, share, disposition);
        if (!device) return nullptr;
        return std::make_unique<Command>(*this, std::move(device));
    }

  private:
    class Command : public Device {
      public:
        Command(TestMedia& media, std::unique_ptr<Device> device)
            : media_(media), device_(std::move(device)) {}
        bool Control(std::uint32_t code) override {
            if (code == win::kIoctlDiskCheckVerify) return media_.present;
            if (code == win::kIoctlDiskEjectMedia) {
                ++media_.ejects;
                media_.present = false;
            }
            if (code == win::kIoctlDiskLoadMedia) ++media_.loads;
            const bool done = device_->Control(code);
            if (!done) ++media_.refused;
            return done;
        }

      private:
        TestMedia& media_;
        std::unique_ptr<Device> device_;
    };
};

// Every file below `folder`, by its path relative to it, with its content.
void ListFiles(const std::string& folder, const std::string& relative,
               std::map<std::string, std::string>& files) {
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((folder + relative + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(folder, relative + name + "\\", files);
        } else {
            std::ifstream in(folder + relative + name, std::ios::binary);
            files[relative + name].assign(std::istreambuf_iterator<char>(in), {});
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
}

std::map<std::string, std::string> FilesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    ListFiles(folder, "", files);
    return files;
}

void RemoveTree(const std::string& folder) {
    const std::string from = folder + std::string(2, '\0');
    SHFILEOPSTRUCTA remove{};
    remove.wFunc = FO_DELETE;
    remove.pFrom = from.c_str();
    remove.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ::SHFileOperationA(&remove);
}

class Win32CopyCycle : public ::testing::Test {
  protected:
    static constexpr const char* kTarget = "C:\\dravolin-cycle\\";
    static constexpr const char* kTargetFile = "C:\\dravolin-cycle\\readme.txt";
    static constexpr const char* kLaterTarget = "C:\\dravolin-cycle\\later";

    void SetUp() override {
        DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
        RemoveTree("C:\\dravolin-cycle");
        Win32Resources resources(::GetModuleHandleA(nullptr));
        waiting_ = resources.LoadString(IDS_STATE_WAITING);
        copying_ = resources.LoadString(IDS_STATE_COPYING);
        ejecting_ = resources.LoadString(IDS_STATE_EJECTING);
    }
    void TearDown() override {
        DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
        RemoveTree("C:\\dravolin-cycle");
    }

    // The program with the test's media test in front of its real devices.
    bool Run(const std::function<void(HWND dialog)>& drive) {
        return RunProgram(drive, [&](Platform& platform) {
            media_->real = platform.workers.devices;
            platform.workers.devices = media_;
        });
    }

    static std::string Status(HWND dialog) {
        char text[MAX_PATH] = {};
        LVITEMA item{};
        item.iSubItem = 1;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        ::SendMessageA(::GetDlgItem(dialog, IDC_DRIVES), LVM_GETITEMTEXTA, 0,
                       reinterpret_cast<LPARAM>(&item));
        return text;
    }

    // Types the target and ticks the drive; the tray-closing worker's load reaches the real
    // device, which refuses it. Then a disc is "inserted".
    void TickAndInsert(HWND dialog) {
        ::SendMessageA(::GetDlgItem(dialog, IDC_TARGET), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>("C:\\dravolin-cycle"));
        ListView_SetCheckState(::GetDlgItem(dialog, IDC_DRIVES), 0, TRUE);
        ASSERT_TRUE(WaitUntil([&] { return Status(dialog) == waiting_; }));
        ASSERT_TRUE(WaitUntil([&] { return media_->loads == 1; }));
        media_->present = true;
    }

    std::shared_ptr<TestMedia> media_ = std::make_shared<TestMedia>();
    std::string waiting_, copying_, ejecting_;
};

TEST_F(Win32CopyCycle, ADiscIsCopiedIntoTheTargetFolderOnAWorkerThenEjected) {
    ASSERT_TRUE(Run([&](HWND dialog) {
        TickAndInsert(dialog);
        EXPECT_TRUE(WaitUntil([&] { return Status(dialog) == copying_; }));
        EXPECT_TRUE(WaitUntil([&] { return Status(dialog) == ejecting_; }));
        // The copy has ended: everything on the disc is in the target folder.
        const std::map<std::string, std::string> disc = FilesBelow("E:\\");
        EXPECT_GE(disc.size(), 2u);
        EXPECT_EQ(FilesBelow(kTarget), disc);
        // The next poll starts the eject; the device refuses it, and the drive waits again.
        EXPECT_TRUE(WaitUntil([&] { return media_->ejects == 1; }));
        EXPECT_TRUE(WaitUntil([&] { return Status(dialog) == waiting_; }));
        EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00").bytes, kTarget);
    }));
    EXPECT_EQ(media_->ejects, 1);
    EXPECT_EQ(media_->refused, media_->loads + media_->ejects) << "Wine refuses the commands";
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue).status,
              ERROR_FILE_NOT_FOUND);
}

// A visible dialog box of this process on a thread other than `uiThread`: the shell's replace
// prompt, which the copy's own thread shows.
HWND FindWorkerPrompt(DWORD uiThread) {
    return FindTopLevel([uiThread](HWND window) {
        DWORD process = 0;
        const DWORD thread = ::GetWindowThreadProcessId(window, &process);
        return process == ::GetCurrentProcessId() && thread != uiThread &&
               ::IsWindowVisible(window) && ClassOf(window) == "#32770";
    });
}

// A file of the disc is already in the target folder, so the shell's copy stops at its replace
// prompt, live, on the worker's thread. Closing the dialog then stops that thread at once.
TEST_F(Win32CopyCycle, ClosingDuringACopyStopsItsThreadAndStillSavesTheHistory) {
    ::SHCreateDirectoryExA(nullptr, "C:\\dravolin-cycle", nullptr);
    {
        std::ofstream old(kTargetFile, std::ios::binary);
        old << "older";
    }
    UniqueHandle worker;
    HWND prompt = nullptr;
    ASSERT_TRUE(Run([&](HWND dialog) {
        const DWORD uiThread = ::GetWindowThreadProcessId(dialog, nullptr);
        TickAndInsert(dialog);
        ASSERT_TRUE(WaitUntil([&] { return (prompt = FindWorkerPrompt(uiThread)) != nullptr; }));
        EXPECT_EQ(Status(dialog), copying_);
        worker = UniqueHandle(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE,
                                           ::GetWindowThreadProcessId(prompt, nullptr)));
        ASSERT_TRUE(worker.Valid());
        EXPECT_EQ(::WaitForSingleObject(worker.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
        // What the close step saves, after the worker is stopped.
        ::SendMessageA(::GetDlgItem(dialog, IDC_TARGET), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>(kLaterTarget));

        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); })) << "the dialog hangs";
    }));
    ASSERT_TRUE(worker.Valid());
    ASSERT_EQ(::WaitForSingleObject(worker.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 0;
    ::GetExitCodeThread(worker.Get(), &exitCode);
    EXPECT_EQ(exitCode, 1u) << "stopped, not ended by its copy";
    EXPECT_FALSE(::IsWindow(prompt)) << "the prompt outlives its thread";
    std::ifstream old(kTargetFile, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "older");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00").bytes,
              "C:\\dravolin-cycle\\later\\");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination01").bytes, kTarget);
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kAutoplayKey, kAutoplayValue).status,
              ERROR_FILE_NOT_FOUND);
}

// Copies nothing: reports progress until the test lets it finish, then publishes the bag by
// making its folder. Any thread.
class HeldWriter : public BagWriting {
  public:
    explicit HeldWriter(std::atomic<bool>& release) : release_(release) {}
    BagOutcome Build(const BagRequest& request, BagProgress& progress) override {
        target_ = request.targetFolder;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (std::uint64_t done = 0; !release_ && std::chrono::steady_clock::now() < deadline;
             done = (done + 2048) % 4096000) {
            if (!progress.OnProgress(done, 4096000, request.discRoot + L"readme.txt")) break;
            std::this_thread::yield();
        }
        BagOutcome outcome;
        outcome.result = release_ ? BagResult::Complete : BagResult::Failed;
        outcome.files = 2;
        outcome.bytes = 4096000;
        return outcome;
    }
    Win32BagWriter::Published Publish(const std::wstring& name, unsigned long*) override {
        std::wstring path = target_;
        path.push_back(L'\\');
        path.append(name);
        return ::CreateDirectoryW(path.c_str(), nullptr) ? Win32BagWriter::Published::Done
                                                         : Win32BagWriter::Published::NameTaken;
    }

  private:
    std::wstring target_;
    std::atomic<bool>& release_;
};

// Archive mode on the whole cycle: the disc's bag is made on the worker behind the program's
// own progress window, owned by the dialog, which keeps answering; the log gets the disc's row.
TEST_F(Win32CopyCycle, InArchiveModeADiscBecomesABagBehindItsOwnProgressWindowAndALogRow) {
    Win32ArchiveWindows windows(::GetModuleHandleA(nullptr));
    std::atomic<bool> release{false};
    ArchiveOptions archive;
    archive.on = true;
    archive.pattern = "{label} {serial}";
    const auto configure = [&](Platform& platform) {
        media_->real = platform.workers.devices;
        platform.workers.devices = media_;
        platform.workers.archiver = std::make_shared<Win32Archiver>(Win32Archiver::Parts{
            [&] { return std::make_unique<HeldWriter>(release); }, windows.Desk()});
    };
    ASSERT_TRUE(RunProgram(
        [&](HWND dialog) {
            TickAndInsert(dialog);
            HWND progress = nullptr;
            EXPECT_TRUE(WaitUntil([&] {
                return (progress = FindTopLevel([&](HWND window) {
                            return ::GetWindow(window, GW_OWNER) == dialog &&
                                   ::IsWindowVisible(window) && ClassOf(window) == "#32770";
                        })) != nullptr;
            }));
            EXPECT_EQ(Status(dialog), copying_);
            DWORD_PTR answer = 0;
            EXPECT_NE(::SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &answer), 0)
                << "the dialog does not answer while the disc is read";
            release = true;
            EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(progress); }));
            EXPECT_TRUE(WaitUntil([&] { return Status(dialog) == ejecting_; }));
        },
        configure, archive));
    const std::string log = [] {
        std::ifstream file("C:\\dravolin-cycle\\archive-log.csv", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }();
    const std::vector<archive::LogRow> rows = archive::ParseLog(log);
    ASSERT_EQ(rows.size(), 1u) << log;
    EXPECT_EQ(rows[0].drive, "E");
    EXPECT_EQ(rows[0].label, "DATA");
    EXPECT_EQ(rows[0].fingerprint, 0x2e0c1d44u);
    EXPECT_EQ(rows[0].result, archive::DiscResult::Complete);
    EXPECT_EQ(rows[0].bagFolder, "DATA 2e0c1d44");
    EXPECT_EQ(rows[0].files, 2u);
    EXPECT_NE(::GetFileAttributesA("C:\\dravolin-cycle\\DATA 2e0c1d44"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace dravolin::win32::test

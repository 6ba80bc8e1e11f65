// Drives, volumes, the shell's file services, threads, the wait cursor and the path conversion,
// against Wine. The test prefix declares drive E: as a CD-ROM drive backed by a folder that
// holds a disc labelled DATA.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>
#include "Win32TestSupport.h"
#include "platform/win32/AnsiToWide.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Devices.h"
#include "platform/win32/Win32Runtime.h"
#include "platform/win32/Win32Shell.h"

namespace dravolin::win32::test {
namespace {

constexpr std::uint32_t kDiscSerial = 0x2e0c1d44;

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(Win32Volumes, TheDeviceRootOfTheCdDriveIsACdromAndOtherRootsAreNot) {
    Win32Volumes volumes;
    EXPECT_EQ(volumes.GetDriveType("\\\\.\\E:\\"), static_cast<std::uint32_t>(DRIVE_CDROM));
    EXPECT_EQ(volumes.GetDriveType("\\\\.\\C:\\"), static_cast<std::uint32_t>(DRIVE_FIXED));
    EXPECT_EQ(volumes.GetDriveType("\\\\.\\Q:\\"), static_cast<std::uint32_t>(DRIVE_NO_ROOT_DIR));
}

TEST(Win32Volumes, TheVolumeOfTheDiscGivesItsLabelAndSerial) {
    Win32Volumes volumes;
    const Volumes::Info info = volumes.GetVolumeInformation("\\\\.\\E:\\", win::kMaxPath);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.label, "DATA");
    EXPECT_EQ(info.serial, kDiscSerial);

    const Volumes::Info missing = volumes.GetVolumeInformation("\\\\.\\Q:\\", win::kMaxPath);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.serial, 0u);
    EXPECT_EQ(missing.label, "");
}

TEST(Win32ShellInfo, TheDriveRootHasAnIconAndTheShellsDisplayName) {
    ::CoInitialize(nullptr);
    {
        Win32ShellInfo shell;
        ShellInfo::FileInfo info = shell.GetFileInfo("E:\\", 0, win::kDriveInfoFlags);
        EXPECT_NE(info.icon, nullptr);
        EXPECT_EQ(info.displayName, "DATA (E:)");
        ShellInfo::FileInfo folder = shell.GetFileInfo("C:\\windows\\", 0, win::kFolderIconFlags);
        EXPECT_NE(folder.icon, nullptr);
    }
    ::CoUninitialize();
}

TEST(Win32DeviceControl, OpensTheDevicePathOfADriveAndNotOfAMissingOne) {
    Win32DeviceControl devices;
    const std::uint32_t share = win::kFileShareRead | win::kFileShareWrite;
    EXPECT_NE(devices.Open("\\\\.\\E:", win::kGenericRead, share, win::kOpenExisting), nullptr);
    EXPECT_EQ(devices.Open("\\\\.\\Q:", win::kGenericRead, share, win::kOpenExisting), nullptr);
}

TEST(Win32ShellCopy, CopiesTheWholeDiscIntoTheTargetFolder) {
    const std::string target = "C:\\dravolin-copy-test\\";
    ::SHCreateDirectoryExA(nullptr, "C:\\dravolin-copy-test", nullptr);
    ::DeleteFileA((target + "readme.txt").c_str());
    ::CoInitialize(nullptr);
    {
        Win32ShellCopy copy;
        ShellCopy::Operation op;
        op.owner = 0;
        op.function = win::kFoCopy;
        op.from = std::string("E:\\*.*") + '\0';
        op.to = target + std::string(2, '\0');
        op.flags = FOF_NOCONFIRMATION | FOF_SILENT;  // a folder of the test's own
        EXPECT_EQ(copy.FileOperation(op), 0);
    }
    ::CoUninitialize();
    EXPECT_TRUE(FileExists(target + "readme.txt"));
    EXPECT_TRUE(FileExists(target + "Pictures\\index.txt"));
}

TEST(Win32PathPreparer, CreatesAMissingFolderAndRejectsAMissingDrive) {
    const std::string folder = "C:\\dravolin-prepare-test\\a\\b\\";
    ::RemoveDirectoryA("C:\\dravolin-prepare-test\\a\\b");
    Win32PathPreparer preparer;
    EXPECT_EQ(preparer.PrepareForWrite(0, folder, win::kShppfwDirCreate), S_OK);
    EXPECT_TRUE(FileExists(folder));
    EXPECT_EQ(preparer.PrepareForWrite(0, folder, win::kShppfwDirCreate), S_OK);
    EXPECT_NE(preparer.PrepareForWrite(0, "Q:\\nowhere\\", win::kShppfwDirCreate), S_OK);
}

TEST(Win32Threads, AJobRunsOnItsThreadAndIsFreedWhenItEnds) {
    Win32Threads threads;
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    std::atomic<DWORD> ranOn{0};
    std::unique_ptr<WorkerThread> worker =
        threads.Create([release, token = std::move(token), &ranOn]() -> std::uint32_t {
            ranOn = ::GetCurrentThreadId();
            while (!*release) ::Sleep(1);
            return 0;
        });
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ranOn != 0; }));
    EXPECT_NE(ranOn.load(), ::GetCurrentThreadId());
    EXPECT_FALSE(worker->HasEnded());
    EXPECT_FALSE(watch.expired());  // the thread owns the job while it runs
    *release = true;
    EXPECT_TRUE(WaitUntil([&] { return worker->HasEnded(); }));
    EXPECT_TRUE(WaitUntil([&] { return watch.expired(); }));
}

TEST(Win32Threads, TerminateStopsAThreadThatWouldNeverEnd) {
    Win32Threads threads;
    auto started = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<WorkerThread> worker = threads.Create([started]() -> std::uint32_t {
        *started = true;
        for (;;) ::Sleep(10);
    });
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return started->load(); }));
    EXPECT_FALSE(worker->HasEnded());
    worker->Terminate(1);
    EXPECT_TRUE(WaitUntil([&] { return worker->HasEnded(); }));
}

// Runs `probe` on a thread of its own, which owns it; true when it ended within five seconds.
// A lock left held by a stopped thread keeps the probe waiting for ever, not the test.
bool EndsSoon(std::function<void()> probe) {
    auto owned = std::make_unique<std::function<void()>>(std::move(probe));
    UniqueHandle thread(::CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            std::unique_ptr<std::function<void()>> job(
                static_cast<std::function<void()>*>(parameter));
            (*job)();
            return 0;
        },
        owned.get(), 0, nullptr));
    if (!thread.Valid()) return false;
    owned.release();
    return ::WaitForSingleObject(thread.Get(), 5000) == WAIT_OBJECT_0;
}

// A private heap, destroyed with its owner.
class PrivateHeap {
  public:
    PrivateHeap() : heap_(::HeapCreate(0, 0, 0)) {}
    ~PrivateHeap() {
        if (heap_ != nullptr) ::HeapDestroy(heap_);
    }
    PrivateHeap(const PrivateHeap&) = delete;
    PrivateHeap& operator=(const PrivateHeap&) = delete;
    HANDLE Get() const { return heap_; }

  private:
    HANDLE heap_;
};

// A worker holds a lock of the runtime for a moment (here a heap's), as every thread does as it
// starts, allocates or enters the component library. Stopped right then, it would keep the lock
// for ever; it is let go on until it ends by itself.
TEST(Win32Threads, TerminateLetsAThreadHoldingALockEndByItself) {
    PrivateHeap heap;
    ASSERT_NE(heap.Get(), nullptr);
    Win32Threads threads;
    auto locked = std::make_shared<std::atomic<bool>>(false);
    HANDLE raw = heap.Get();
    std::unique_ptr<WorkerThread> worker = threads.Create([locked, raw]() -> std::uint32_t {
        ::HeapLock(raw);
        *locked = true;
        ::Sleep(200);  // the worker's own short step, not the test's timing
        ::HeapUnlock(raw);
        return 0;
    });
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return locked->load(); }));
    worker->Terminate(1);
    EXPECT_TRUE(worker->HasEnded());
    EXPECT_TRUE(EndsSoon([raw] {
        ::HeapLock(raw);
        ::HeapUnlock(raw);
    })) << "the stopped thread kept the heap's lock";
}

// Workers stopped the moment they were created, as closing the dialog right after ticking a
// drive does, each in its first steps: the component library, the wait cursor and the drive's
// device. The process goes on creating threads that take the same steps.
TEST(Win32Threads, ThreadsStoppedAsTheyStartLeaveTheProcessWhole) {
    Win32Threads threads;
    auto com = std::make_shared<Win32ComRuntime>();
    auto cursor = std::make_shared<Win32WaitCursor>();
    auto devices = std::make_shared<Win32DeviceControl>();
    const auto firstSteps = [com, cursor, devices] {
        com->Initialize();
        cursor->Begin();
        if (auto device =
                devices->Open("\\\\.\\E:", win::kGenericRead,
                              win::kFileShareRead | win::kFileShareWrite, win::kOpenExisting)) {
            device->Control(win::kIoctlDiskLoadMedia);
        }
        cursor->End();
        com->Uninitialize();
    };
    for (int round = 0; round < 20; ++round) {
        std::unique_ptr<WorkerThread> worker = threads.Create([firstSteps]() -> std::uint32_t {
            firstSteps();
            return 0;
        });
        ASSERT_NE(worker, nullptr);
        worker->Terminate(1);
        EXPECT_TRUE(worker->HasEnded());
        ASSERT_TRUE(EndsSoon(firstSteps)) << "round " << round;
    }
}

// A thread that waits in a message loop, as the shell's copy does at a replace prompt, ends
// itself when stopped: at once, with the exit code asked for, and its windows go with it.
TEST(Win32Threads, TerminateEndsAThreadInAMessageLoopWithItsWindows) {
    Win32Threads threads;
    std::atomic<HWND> window{nullptr};
    std::atomic<DWORD> id{0};
    std::unique_ptr<WorkerThread> worker = threads.Create([&window, &id]() -> std::uint32_t {
        id = ::GetCurrentThreadId();
        window = ::CreateWindowExA(0, "STATIC", "worker", WS_POPUP | WS_VISIBLE, 10, 10, 50, 20,
                                   nullptr, nullptr, nullptr, nullptr);
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
        return 0;
    });
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return window.load() != nullptr; }));
    UniqueHandle thread(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
    ASSERT_TRUE(thread.Valid());

    worker->Terminate(1);
    EXPECT_TRUE(worker->HasEnded());
    DWORD exitCode = 0;
    ::GetExitCodeThread(thread.Get(), &exitCode);
    EXPECT_EQ(exitCode, 1u);
    EXPECT_FALSE(::IsWindow(window.load())) << "the thread's windows outlive it";
}

// Closing the dialog with several drives busy stops all their workers within one grace, not
// one grace after another; the one in a message loop still ends itself with the exit code.
TEST(Win32Threads, TerminateAllStopsEveryWorkerWithinOneGrace) {
    Win32Threads threads;
    auto started = std::make_shared<std::atomic<int>>(0);
    std::vector<std::unique_ptr<WorkerThread>> workers;
    for (int i = 0; i < 3; ++i) {
        workers.push_back(threads.Create([started]() -> std::uint32_t {
            ++*started;
            for (;;) ::Sleep(10);
        }));
    }
    std::atomic<DWORD> id{0};
    workers.push_back(threads.Create([started, &id]() -> std::uint32_t {
        id = ::GetCurrentThreadId();
        ::CreateWindowExA(0, "STATIC", "worker", WS_POPUP | WS_VISIBLE, 10, 10, 50, 20, nullptr,
                          nullptr, nullptr, nullptr);
        ++*started;
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
        return 0;
    }));
    ASSERT_TRUE(WaitUntil([&] { return started->load() == 4; }));
    UniqueHandle looping(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
    ASSERT_TRUE(looping.Valid());
    std::vector<WorkerThread*> all;
    for (const auto& worker : workers) all.push_back(worker.get());

    const ULONGLONG before = ::GetTickCount64();
    threads.TerminateAll(all, 1);
    const ULONGLONG took = ::GetTickCount64() - before;

    EXPECT_LT(took, 2 * Win32WorkerThread::kStopGraceMs) << "the workers' graces were added up";
    for (const auto& worker : workers) EXPECT_TRUE(worker->HasEnded());
    DWORD exitCode = 0;
    ::GetExitCodeThread(looping.Get(), &exitCode);
    EXPECT_EQ(exitCode, 1u);
}

// A refused eject is asked again for about five seconds on a worker, about one on the UI
// thread, where a user waits on a double-click; a final answer ends it at once.
TEST(Win32DeviceControl, ARefusedEjectIsAskedAgainForLongerOnAWorkerThanOnTheUiThread) {
    struct Case {
        const char* title;
        bool onWorker;
        Answer answer;
        int tries;
    };
    const Case cases[] = {
        {"refused, UI thread", false, Answer::Refused, kEjectAttemptsOnUiThread},
        {"refused, worker", true, Answer::Refused, kEjectAttemptsOnWorker},
        {"not supported, worker", true, Answer::Final, 1},
    };
    static_assert(kEjectAttemptsOnUiThread * kEjectPauseMs <= 1250);
    Win32Threads threads;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::atomic<int> tries{0};
        std::atomic<bool> done{false};
        const auto ask = [&] {
            EXPECT_FALSE(AskWhileRefused([&] {
                ++tries;
                return c.answer;
            }));
            done = true;
        };
        std::unique_ptr<WorkerThread> worker;
        if (c.onWorker) {
            worker = threads.Create([&ask]() -> std::uint32_t {
                ask();
                return 0;
            });
            ASSERT_NE(worker, nullptr);
            ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
        } else {
            ask();
        }
        EXPECT_EQ(tries, c.tries);
    }
}

TEST(Win32WaitCursor, ShowsTheWaitCursorAndPutsBackTheOneBeforeAtTheOutermostEnd) {
    Win32WaitCursor cursor;
    HCURSOR arrow = ::LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = ::LoadCursorA(nullptr, IDC_WAIT);
    ::SetCursor(arrow);
    cursor.Begin();
    EXPECT_EQ(::GetCursor(), wait);
    cursor.Begin();
    cursor.End();
    EXPECT_EQ(::GetCursor(), wait);
    cursor.End();
    EXPECT_EQ(::GetCursor(), arrow);
    cursor.End();  // unmatched: nothing to put back
    EXPECT_EQ(::GetCursor(), arrow);
}

TEST(Win32WaitCursor, WorksOnAWorkerThreadAtTheSameTime) {
    Win32WaitCursor cursor;
    HCURSOR arrow = ::LoadCursorA(nullptr, IDC_ARROW);
    ::SetCursor(arrow);
    cursor.Begin();
    std::atomic<bool> restored{false};
    Win32Threads threads;
    std::unique_ptr<WorkerThread> worker = threads.Create([&]() -> std::uint32_t {
        HCURSOR before = ::GetCursor();
        cursor.Begin();
        cursor.End();
        restored = ::GetCursor() == before;
        return 0;
    });
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return worker->HasEnded(); }));
    EXPECT_TRUE(restored);
    cursor.End();
    EXPECT_EQ(::GetCursor(), arrow);
}

TEST(Win32AnsiToWide, ShortPathsUseTheInlineBufferAndLongerOnesTheHeap) {
    ThreadAnsiCodePage codePage;
    const std::string short127(127, 'a');
    const std::string long128(128, 'b');
    AnsiToWide root("E:\\", codePage.Get());
    EXPECT_FALSE(root.UsesHeap());
    EXPECT_EQ(std::wstring(root.Get()), L"E:\\");
    AnsiToWide longest(short127.c_str(), codePage.Get());
    EXPECT_FALSE(longest.UsesHeap());
    EXPECT_EQ(std::wstring(longest.Get()), std::wstring(127, L'a'));
    AnsiToWide longer(long128.c_str(), codePage.Get());
    EXPECT_TRUE(longer.UsesHeap());
    EXPECT_EQ(std::wstring(longer.Get()), std::wstring(128, L'b'));
}

TEST(Win32AnsiToWide, UsesTheThreadsAnsiCodePageOnNt5AndLater) {
    ThreadAnsiCodePage codePage;
    EXPECT_EQ(codePage.Get(), static_cast<UINT>(CP_THREAD_ACP));
    EXPECT_EQ(codePage.Get(), static_cast<UINT>(CP_THREAD_ACP));
    const std::string text("C:\\Caf\xE9\\");
    AnsiToWide wide(text.c_str(), codePage.Get());
    wchar_t expected[16] = {};
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, expected, 16);
    EXPECT_EQ(std::wstring(wide.Get()), std::wstring(expected));
}

TEST(Win32AnsiToWide, AFailedConversionRaisesTheErrorAsAnHresult) {
    EXPECT_EQ(HResultFromError(ERROR_NO_UNICODE_TRANSLATION), static_cast<HRESULT>(0x80070459));
    EXPECT_EQ(HResultFromError(0), 0);
    EXPECT_EQ(HResultFromError(0x80004005u), static_cast<HRESULT>(0x80004005u));
    try {
        AnsiToWide wide("E:\\", 65533);  // no such code page
        ADD_FAILURE() << "converted with a code page that does not exist";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.Result(), HResultFromError(ERROR_INVALID_PARAMETER));
    }
}

}  // namespace
}  // namespace dravolin::win32::test

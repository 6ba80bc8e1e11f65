#pragma once
// Threads, the component object library, the wait cursor and the code page.
#include <map>
#include <mutex>
#include "platform/CodePage.h"
#include "platform/ComRuntime.h"
#include "platform/Threads.h"
#include "platform/WaitCursor.h"
#include "platform/win32/Handles.h"

namespace dravolin::win32 {

// A worker's handle. Destroying it closes the handle; the thread runs on.
class Win32WorkerThread : public WorkerThread {
  public:
    explicit Win32WorkerThread(UniqueHandle handle) : handle_(std::move(handle)) {}
    bool HasEnded() override;
    // Stops the thread; the only caller is the dialog's teardown, once the dialog is hidden and
    // right before the process ends. A thread may first end by itself within kStopGraceMs
    // (with its own exit code); one that shows windows (the shell's copy asking before it
    // replaces a file) is asked to end itself with `exitCode` as it takes its next message.
    // One still running after the grace is stopped by TerminateThread with `exitCode`
    // wherever it is, its stack and the job it owns abandoned, never freed.
    void Terminate(std::uint32_t exitCode) override;
    static constexpr DWORD kStopGraceMs = 2000;
    HANDLE Handle() const { return handle_.Get(); }

  private:
    UniqueHandle handle_;
};

// Whether the calling thread is a worker made by Win32Threads (and not the UI thread).
bool OnWorkerThread();

// Creates threads with CreateThread. The job moves to the heap and belongs to the new thread,
// which frees it when the job returns. Callable from the UI thread.
class Win32Threads : public Threads {
  public:
    std::unique_ptr<WorkerThread> Create(Job job) override;
    // Every worker given here was made by a Win32Threads. They share one grace of
    // kStopGraceMs; those still running after it are stopped by TerminateThread.
    void TerminateAll(const std::vector<WorkerThread*>& workers, std::uint32_t exitCode) override;
};

// CoInitialize / CoUninitialize on the calling thread; any thread.
class Win32ComRuntime : public ComRuntime {
  public:
    void Initialize() override;
    void Uninitialize() override;
};

// The application's wait cursor, for the thread that calls it: Begin shows the system's wait
// cursor with SetCursor and keeps the cursor it replaced, End puts that one back; nested pairs
// on one thread restore at the outermost End. The cursor is a property of a thread's input
// state, so on a worker, which has no window, the pair is harmless and shows nothing: the
// dialog's thread keeps its own cursor. Callable from any thread at once.
class Win32WaitCursor : public WaitCursor {
  public:
    void Begin() override;
    void End() override;

  private:
    struct Saved {
        HCURSOR previous = nullptr;
        int depth = 0;
    };
    std::mutex mutex_;
    std::map<DWORD, Saved> byThread_;
};

// The ANSI code page's lead bytes (IsDBCSLeadByte). Any thread.
class Win32CodePage : public CodePage {
  public:
    bool IsLeadByte(unsigned char byte) const override;
};

}  // namespace dravolin::win32

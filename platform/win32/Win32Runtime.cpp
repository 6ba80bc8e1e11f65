#include "platform/win32/Win32Runtime.h"

#include <vector>

namespace dravolin::win32 {

namespace {

thread_local bool onWorker = false;

DWORD WINAPI RunJob(LPVOID parameter) {
    onWorker = true;
    std::unique_ptr<Threads::Job> job(static_cast<Threads::Job*>(parameter));
    try {
        return (*job)();
    } catch (...) {
        // Nothing may unwind out of a thread's start routine; the copy cycle only observes
        // that the worker has ended.
        return 1;
    }
}

}  // namespace

bool OnWorkerThread() {
    return onWorker;
}

bool Win32WorkerThread::HasEnded() {
    return ::WaitForSingleObject(handle_.Get(), 0) == WAIT_OBJECT_0;
}

namespace {

// Posted to a worker's thread to stop it; wParam carries the exit code.
UINT StopMessage() {
    return ::RegisterWindowMessageA("Dravolin: stop the worker");
}

// Runs on the hooked thread as it takes a message from its queue: nothing of the window system
// is held there, so the thread can end itself cleanly, its windows destroyed with it.
LRESULT CALLBACK EndOnStopMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && message != nullptr && message->hwnd == nullptr &&
        message->message == StopMessage()) {
        ::ExitThread(static_cast<DWORD>(message->wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// Waits until one of the threads ends, answering the messages other threads send to this one
// meanwhile: a modal loop on a worker's thread sends to the window that owns it (the dialog box
// loop sends WM_ENTERIDLE whenever it runs dry) and takes no posted message until answered.
void WaitAnsweringSentMessages(const std::vector<HANDLE>& threads, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    const auto count = static_cast<DWORD>(threads.size());
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        const DWORD woken =
            ::MsgWaitForMultipleObjects(count, threads.data(), FALSE, left, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + count) return;
        MSG message;
        ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool HasWindows(DWORD threadId) {
    bool found = false;
    ::EnumThreadWindows(
        threadId,
        [](HWND, LPARAM param) -> BOOL {
            *reinterpret_cast<bool*>(param) = true;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits up to `graceMs` for the threads to end by themselves; returns those still running. A
// thread that shows windows, and so runs a message loop, is asked to end itself as it takes its
// next message; the question goes out as soon as its first window appears, which for the
// shell's copy can be a while after the thread began. The threads share the grace: they end
// side by side, not one after another.
std::vector<HANDLE> StillRunningAfterGrace(const std::vector<HANDLE>& threads,
                                           std::uint32_t exitCode, DWORD graceMs) {
    constexpr DWORD kLookMs = 50;
    struct Watched {
        HANDLE thread;
        HHOOK hook = nullptr;
    };
    std::vector<Watched> running;
    for (HANDLE thread : threads) {
        if (::WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) running.push_back({thread});
    }
    const ULONGLONG deadline = ::GetTickCount64() + graceMs;
    while (!running.empty()) {
        std::vector<HANDLE> handles;
        for (Watched& w : running) {
            handles.push_back(w.thread);
            const DWORD id = ::GetThreadId(w.thread);
            if (w.hook == nullptr && HasWindows(id)) {
                w.hook = ::SetWindowsHookExA(WH_GETMESSAGE, EndOnStopMessage, nullptr, id);
                if (w.hook != nullptr) ::PostThreadMessageA(id, StopMessage(), exitCode, 0);
            }
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        const DWORD left = static_cast<DWORD>(deadline - now);
        WaitAnsweringSentMessages(handles, left < kLookMs ? left : kLookMs);
        std::erase_if(running, [](const Watched& w) {
            if (::WaitForSingleObject(w.thread, 0) != WAIT_OBJECT_0) return false;
            if (w.hook != nullptr) ::UnhookWindowsHookEx(w.hook);
            return true;
        });
    }
    std::vector<HANDLE> left;
    for (const Watched& w : running) {
        if (w.hook != nullptr) ::UnhookWindowsHookEx(w.hook);
        left.push_back(w.thread);
    }
    return left;
}

}  // namespace

// TerminateThread stops a thread wherever it is, holding whatever it holds. Under Wine, whose
// window system runs in the process, a thread stopped while it drew (as the shell's windows do
// when the dialog they belong to closes) leaves the display's lock held; a thread stopped as it
// starts, or inside the component library or the heap, leaves the loader's or the heap's lock
// held. Either way the rest of the teardown waits on that lock for ever, and closing the dialog
// the moment a drive is ticked did exactly that. A worker's own steps outside a device command
// take milliseconds, so every worker is first given the grace period to end by itself, and one
// in a message loop is stopped where it holds nothing, as it takes a message. TerminateThread
// remains for a thread still running after the grace: one kept in a long device command, which
// holds none of the process's locks there.
void Win32WorkerThread::Terminate(std::uint32_t exitCode) {
    Win32Threads().TerminateAll({this}, exitCode);
}

void Win32Threads::TerminateAll(const std::vector<WorkerThread*>& workers, std::uint32_t exitCode) {
    std::vector<HANDLE> threads;
    for (WorkerThread* worker : workers) {
        threads.push_back(static_cast<Win32WorkerThread*>(worker)->Handle());
    }
    for (HANDLE thread :
         StillRunningAfterGrace(threads, exitCode, Win32WorkerThread::kStopGraceMs)) {
        ::TerminateThread(thread, exitCode);
    }
}

// Default security, default stack size, no creation flags; the identifier is not kept.
std::unique_ptr<WorkerThread> Win32Threads::Create(Job job) {
    auto owned = std::make_unique<Job>(std::move(job));
    UniqueHandle handle(::CreateThread(nullptr, 0, RunJob, owned.get(), 0, nullptr));
    if (!handle.Valid()) return nullptr;  // `owned` frees the job: no thread took it
    owned.release();                      // the thread frees it
    return std::make_unique<Win32WorkerThread>(std::move(handle));
}

void Win32ComRuntime::Initialize() {
    ::CoInitialize(nullptr);
}

void Win32ComRuntime::Uninitialize() {
    ::CoUninitialize();
}

void Win32WaitCursor::Begin() {
    HCURSOR wait = ::LoadCursorA(nullptr, IDC_WAIT);
    HCURSOR previous = ::SetCursor(wait);
    const std::lock_guard<std::mutex> lock(mutex_);
    Saved& saved = byThread_[::GetCurrentThreadId()];
    if (saved.depth++ == 0) saved.previous = previous;
}

void Win32WaitCursor::End() {
    HCURSOR restore = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        auto it = byThread_.find(::GetCurrentThreadId());
        if (it == byThread_.end()) return;
        if (--it->second.depth > 0) return;
        restore = it->second.previous;
        byThread_.erase(it);
    }
    ::SetCursor(restore);
}

bool Win32CodePage::IsLeadByte(unsigned char byte) const {
    return ::IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace dravolin::win32

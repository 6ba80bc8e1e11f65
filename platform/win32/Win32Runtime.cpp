#include "platform/win32/Win32Runtime.h"

namespace dravolin::win32 {

namespace {

DWORD WINAPI RunJob(LPVOID parameter) {
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

// Waits for the thread's end, answering the messages other threads send to this one
// meanwhile: a modal loop on the worker's thread sends to the window that owns it (the dialog
// box loop sends WM_ENTERIDLE whenever it runs dry) and takes no posted message until answered.
bool WaitAnsweringSentMessages(HANDLE thread, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        const DWORD woken = ::MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) return true;
        if (woken != WAIT_OBJECT_0 + 1) return false;
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

// Waits up to `graceMs` for the thread to end by itself; true when it did. A thread that shows
// windows, and so runs a message loop, is asked to end itself as it takes its next message; the
// question goes out as soon as its first window appears, which for the shell's copy can be a
// while after the thread began.
bool EndedWithinGrace(HANDLE thread, std::uint32_t exitCode, DWORD graceMs) {
    constexpr DWORD kLookMs = 50;
    const DWORD id = ::GetThreadId(thread);
    const ULONGLONG deadline = ::GetTickCount64() + graceMs;
    HHOOK hook = nullptr;
    bool ended = false;
    for (;;) {
        if (hook == nullptr && HasWindows(id)) {
            hook = ::SetWindowsHookExA(WH_GETMESSAGE, EndOnStopMessage, nullptr, id);
            if (hook != nullptr) ::PostThreadMessageA(id, StopMessage(), exitCode, 0);
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        const DWORD left = static_cast<DWORD>(deadline - now);
        if (WaitAnsweringSentMessages(thread, left < kLookMs ? left : kLookMs)) {
            ended = true;
            break;
        }
    }
    if (hook != nullptr) ::UnhookWindowsHookEx(hook);
    return ended;
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
    if (HasEnded()) return;
    if (EndedWithinGrace(handle_.Get(), exitCode, kStopGraceMs)) return;
    ::TerminateThread(handle_.Get(), exitCode);
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

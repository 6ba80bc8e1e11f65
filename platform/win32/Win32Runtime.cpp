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

void Win32WorkerThread::Terminate(std::uint32_t exitCode) {
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

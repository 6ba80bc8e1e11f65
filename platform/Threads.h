#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace dravolin {

// A worker thread's handle; destroying it closes the handle, never the thread.
class WorkerThread {
  public:
    virtual ~WorkerThread() = default;
    // A wait with a time-out of 0: true once the thread has ended.
    virtual bool HasEnded() = 0;
    // Stops the thread with `exitCode` (TerminateThread), after a short grace in which it may
    // end by itself: a thread stopped in its first steps can leave the loader's lock held, and
    // one waiting in a message loop ends itself as it takes its next message. Where a platform
    // cannot kill a thread it cancels the job cooperatively and lets it finish on its own.
    virtual void Terminate(std::uint32_t exitCode) = 0;
};

class Threads {
  public:
    virtual ~Threads() = default;
    using Job = std::function<std::uint32_t()>;
    // Default security, stack and flags. Null when the thread cannot be created.
    virtual std::unique_ptr<WorkerThread> Create(Job job) = 0;
    // Terminate for each of `workers`, in order, all within one grace: closing the dialog with
    // four drives copying waits no longer than with one.
    virtual void TerminateAll(const std::vector<WorkerThread*>& workers, std::uint32_t exitCode) {
        for (WorkerThread* worker : workers) worker->Terminate(exitCode);
    }
};

}  // namespace dravolin

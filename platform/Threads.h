#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace dravolin {

// A worker thread's handle; destroying it closes the handle, never the thread.
class WorkerThread {
  public:
    virtual ~WorkerThread() = default;
    // A wait with a time-out of 0: true once the thread has ended.
    virtual bool HasEnded() = 0;
    // Stops the thread at once with `exitCode` (TerminateThread); a thread waiting in a message
    // loop may instead end itself as it takes its next message. Where a platform cannot kill
    // a thread it cancels the job cooperatively and lets it finish on its own.
    virtual void Terminate(std::uint32_t exitCode) = 0;
};

class Threads {
  public:
    virtual ~Threads() = default;
    using Job = std::function<std::uint32_t()>;
    // Default security, stack and flags. Null when the thread cannot be created.
    virtual std::unique_ptr<WorkerThread> Create(Job job) = 0;
};

}  // namespace dravolin

#pragma once
#include <atomic>

namespace dravolin::lnx {

// The cancel request of the worker running on this thread. The worker's handle sets the flag
// (WorkerThread::Terminate); the copy engine reads it between blocks. The core's interfaces
// pass no cancel token into the copy, so the flag travels with the thread instead.
class CancelScope {
  public:
    explicit CancelScope(const std::atomic<bool>* flag);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

  private:
    const std::atomic<bool>* previous_;
};

// False on a thread that runs no cancellable job.
bool CancelRequested();

// True on a thread that runs a worker's job; false on the UI thread.
bool OnWorker();

}  // namespace dravolin::lnx

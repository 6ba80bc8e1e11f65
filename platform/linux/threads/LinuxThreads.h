#pragma once
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include "platform/Threads.h"

namespace dravolin::lnx {

// Workers as detached std::threads. Linux cannot kill one thread of a process safely, so
// Terminate asks the job to stop (the copy engine checks between blocks) and lets it end on
// its own; nothing here ever waits for a worker on the UI thread.
class LinuxThreads : public Threads {
  public:
    LinuxThreads();
    std::unique_ptr<WorkerThread> Create(Job job) override;

    // For the end of the program, after every worker was told to stop: waits until all have
    // ended or the deadline passes; true when none runs any more. Static objects must not be
    // destroyed under a running worker.
    bool WaitForAll(std::chrono::steady_clock::time_point deadline);

  private:
    struct Counter {
        std::mutex mutex;
        std::condition_variable changed;
        int running = 0;
    };
    std::shared_ptr<Counter> counter_;
};

}  // namespace dravolin::lnx

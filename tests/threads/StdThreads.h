#pragma once
// Worker threads on std::thread for the threaded tests. They cannot be killed, as where the
// platform has no way to stop a thread: Terminate only counts the request, and the job runs on
// with its record and services. A thread's end is published under the lock, so whoever sees it
// ended also sees everything the job wrote. Threads are joined by JoinAll, never by a handle.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>
#include "platform/Threads.h"

namespace dravolin::test {

class StdThreads : public Threads {
  public:
    using Clock = std::chrono::steady_clock;

    ~StdThreads() override { JoinAll(); }

    std::unique_ptr<WorkerThread> Create(Job job) override {
        auto ended = std::make_shared<bool>(false);
        std::lock_guard lock(mutex_);
        ++created_;
        threads_.emplace_back([this, ended, job = std::move(job)]() mutable {
            job();
            job = nullptr;  // what the job shares is released before its end is seen
            {
                std::lock_guard lock(mutex_);
                *ended = true;
                ++ended_;
            }
            changed_.notify_all();
        });
        return std::make_unique<Handle>(*this, std::move(ended));
    }

    // True when every thread created so far has ended before the deadline.
    bool WaitAllEnded(Clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, deadline, [&] { return ended_ == created_; });
    }
    int Created() {
        std::lock_guard lock(mutex_);
        return created_;
    }
    int TerminateRequests() {
        std::lock_guard lock(mutex_);
        return terminateRequests_;
    }
    void JoinAll() {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            threads.swap(threads_);
        }
        for (std::thread& t : threads) t.join();
    }

  private:
    class Handle : public WorkerThread {
      public:
        Handle(StdThreads& owner, std::shared_ptr<bool> ended)
            : owner_(owner), ended_(std::move(ended)) {}
        bool HasEnded() override {
            std::lock_guard lock(owner_.mutex_);
            return *ended_;
        }
        void Terminate(std::uint32_t) override {
            std::lock_guard lock(owner_.mutex_);
            ++owner_.terminateRequests_;
        }

      private:
        StdThreads& owner_;
        std::shared_ptr<bool> ended_;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> threads_;
    int created_ = 0;
    int ended_ = 0;
    int terminateRequests_ = 0;
};

// Releases the gate that holds the workers, then joins them: before the fake platform they use
// goes away, also when a check fails.
template <class Gate>
struct ReleaseAndJoin {
    StdThreads& threads;
    Gate& gate;
    ~ReleaseAndJoin() {
        gate.Release();
        threads.JoinAll();
    }
};

}  // namespace dravolin::test

#include "platform/linux/threads/LinuxThreads.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>
#include "platform/linux/threads/Cancellation.h"

namespace dravolin::lnx {

namespace {

struct WorkerState {
    std::atomic<bool> ended{false};
    std::atomic<bool> cancel{false};
    std::atomic<std::uint32_t> exitCode{0};
};

class LinuxWorker : public WorkerThread {
  public:
    explicit LinuxWorker(std::shared_ptr<WorkerState> state) : state_(std::move(state)) {}

    bool HasEnded() override { return state_->ended.load(std::memory_order_acquire); }

    void Terminate(std::uint32_t exitCode) override {
        state_->exitCode.store(exitCode);
        state_->cancel.store(true);
    }

  private:
    std::shared_ptr<WorkerState> state_;
};

}  // namespace

LinuxThreads::LinuxThreads() : counter_(std::make_shared<Counter>()) {}

std::unique_ptr<WorkerThread> LinuxThreads::Create(Job job) {
    auto state = std::make_shared<WorkerState>();
    {
        std::lock_guard lock(counter_->mutex);
        ++counter_->running;
    }
    try {
        std::thread([state, counter = counter_, job = std::move(job)]() mutable {
            {
                CancelScope scope(&state->cancel);
                try {
                    state->exitCode.store(job());
                } catch (...) {
                    // A job that throws has ended all the same; the core does not look at
                    // exit codes.
                    state->exitCode.store(1);
                }
                job = nullptr;  // what the job holds goes before the end is announced
            }
            state->ended.store(true, std::memory_order_release);
            std::lock_guard lock(counter->mutex);
            --counter->running;
            counter->changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(counter_->mutex);
        --counter_->running;
        return nullptr;
    }
    return std::make_unique<LinuxWorker>(std::move(state));
}

bool LinuxThreads::WaitForAll(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(counter_->mutex);
    return counter_->changed.wait_until(lock, deadline, [&] { return counter_->running == 0; });
}

}  // namespace dravolin::lnx

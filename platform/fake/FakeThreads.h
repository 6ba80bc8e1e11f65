#pragma once
// Worker threads that tests run step by step.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>
#include "platform/Threads.h"
#include "platform/fake/CallLog.h"

namespace dravolin::fake {

// Threads are created pending and run only when the test says so, on the test's own thread.
// Log: "CreateThread <n>" (n counts from 0), "WaitForSingleObject <n> 0",
//      "TerminateThread <n> <exit code>", "CloseHandle thread <n>", "CreateThread failed".
class FakeThreads : public Threads {
  public:
    explicit FakeThreads(CallLog* log);
    // Drops the jobs of threads that never ended: a job shares the record whose handle shares
    // the thread, a cycle nothing else would break.
    ~FakeThreads() override;
    std::unique_ptr<WorkerThread> Create(Job job) override;

    enum class State { Pending, Running, Ended, Terminated };
    struct Record {
        Job job;
        State state = State::Pending;
        std::optional<std::uint32_t> exitCode;
        bool handleClosed = false;
        bool killable = true;  // false: created in the cannot-kill mode
    };
    int Count() const { return static_cast<int>(records_.size()); }
    const Record& At(int n) const { return *records_.at(n); }
    // Runs thread n's job to its end.
    void Finish(int n);
    // Marks thread n as running without running its job: it does not end until Finish.
    void KeepRunning(int n);
    // Finishes every pending thread, including those started meanwhile, in creation order.
    void FinishAll();
    // Number of threads that have not ended (pending or running) and whose handle is open.
    int Live() const;
    // The next `n` creations fail.
    void FailCreates(int n) { failCreates_ = n; }
    // Threads created from now on cannot be killed, as where the platform has no way to stop a
    // thread: Terminate is logged and changes nothing. The job keeps running (or pending), keeps
    // the record and the services it holds, and ends only when the test finishes it. Otherwise
    // Terminate stops the thread and releases its job, which a real platform never does.
    void CannotKill() { killable_ = false; }

  private:
    class Handle;
    std::vector<std::shared_ptr<Record>> records_;
    int failCreates_ = 0;
    bool killable_ = true;
    CallLog* log_;
};

}  // namespace dravolin::fake

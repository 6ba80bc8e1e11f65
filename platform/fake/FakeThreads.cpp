#include "platform/fake/FakeThreads.h"

namespace dravolin::fake {

// The handle of one fake thread; it shares the record with FakeThreads.
class FakeThreads::Handle : public WorkerThread {
  public:
    Handle(std::shared_ptr<Record> record, int number, CallLog* log)
        : record_(std::move(record)), number_(number), log_(log) {}
    ~Handle() override {
        log_->Add("CloseHandle thread " + std::to_string(number_));
        record_->handleClosed = true;
    }
    bool HasEnded() override {
        log_->Add("WaitForSingleObject " + std::to_string(number_) + " 0");
        return record_->state == State::Ended || record_->state == State::Terminated;
    }
    void Terminate(std::uint32_t exitCode) override {
        log_->Add("TerminateThread " + std::to_string(number_) + " " + std::to_string(exitCode));
        if (!record_->killable) return;
        if (record_->state == State::Ended || record_->state == State::Terminated) return;
        record_->state = State::Terminated;
        record_->exitCode = exitCode;
        record_->job = nullptr;  // what the job held is released, as the thread is gone
    }

  private:
    std::shared_ptr<Record> record_;
    int number_;
    CallLog* log_;
};

FakeThreads::FakeThreads(CallLog* log) : log_(log) {}

FakeThreads::~FakeThreads() {
    for (const auto& record : records_) record->job = nullptr;
}

std::unique_ptr<WorkerThread> FakeThreads::Create(Job job) {
    if (failCreates_ > 0) {
        --failCreates_;
        log_->Add("CreateThread failed");
        return nullptr;
    }
    const int number = Count();
    auto record = std::make_shared<Record>();
    record->job = std::move(job);
    record->killable = killable_;
    records_.push_back(record);
    log_->Add("CreateThread " + std::to_string(number));
    return std::make_unique<Handle>(std::move(record), number, log_);
}

void FakeThreads::Finish(int n) {
    // Keep the record alive and stable: the job may create threads, growing records_.
    std::shared_ptr<Record> record = records_.at(n);
    if (record->state != State::Pending && record->state != State::Running) return;
    record->state = State::Running;
    // The job is released when it returns, as a real thread's function would be.
    Job job = std::move(record->job);
    record->job = nullptr;
    const std::uint32_t exitCode = job ? job() : 0;
    if (record->state != State::Running) return;  // terminated while it ran
    record->exitCode = exitCode;
    record->state = State::Ended;
}

void FakeThreads::KeepRunning(int n) {
    Record& record = *records_.at(n);
    if (record.state == State::Pending) record.state = State::Running;
}

void FakeThreads::FinishAll() {
    for (int n = 0; n < Count(); ++n) {
        if (records_[n]->state == State::Pending) Finish(n);
    }
}

int FakeThreads::Live() const {
    int live = 0;
    for (const auto& record : records_) {
        const bool ended = record->state == State::Ended || record->state == State::Terminated;
        if (!ended && !record->handleClosed) ++live;
    }
    return live;
}

}  // namespace dravolin::fake

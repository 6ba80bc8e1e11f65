#include "platform/linux/store/StoreWriter.h"

#include <cerrno>
#include <new>
#include <system_error>
#include <utility>

namespace dravolin::lnx {

void ApplyChanges(const std::vector<StoreChange>& changes, std::vector<StoreRecord>& records) {
    for (const StoreChange& change : changes) {
        if (change.erase) {
            EraseRecord(records, change.record.root, change.record.key, change.record.name);
        } else {
            SetRecord(records, change.record);
        }
    }
}

StoreWriter::StoreWriter(StoreFile& file) : file_(file) {}

StoreWriter::~StoreWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_ = nullptr;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void StoreWriter::Hand(std::vector<StoreChange> batch) {
    std::unique_lock lock(mutex_);
    for (StoreChange& change : batch) waiting_.push_back(std::move(change));
    if (waiting_.empty()) return;
    ready_ = true;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No thread to be had: written here, late rather than never.
            WriteWaiting(lock);
            return;
        }
    }
    lock.unlock();
    changed_.notify_all();
}

int StoreWriter::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_ && !writing_; });
    return waiting_.empty() ? 0 : lastError_;
}

std::vector<StoreChange> StoreWriter::Unwritten() const {
    std::lock_guard lock(mutex_);
    std::vector<StoreChange> changes = flying_;
    changes.insert(changes.end(), waiting_.begin(), waiting_.end());
    return changes;
}

bool StoreWriter::HasUnwritten() const {
    std::lock_guard lock(mutex_);
    return writing_ || !waiting_.empty();
}

std::vector<StoreWriter::Failure> StoreWriter::TakeFailures() {
    std::lock_guard lock(mutex_);
    return std::exchange(failures_, {});
}

std::vector<StoreWriter::Backup> StoreWriter::TakeBackups() {
    std::lock_guard lock(mutex_);
    return std::exchange(backups_, {});
}

std::uint64_t StoreWriter::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

void StoreWriter::SetWake(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void StoreWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ready_ || stopping_; });
        if (!ready_) return;
        WriteWaiting(lock);
    }
}

void StoreWriter::WriteWaiting(std::unique_lock<std::mutex>& lock) {
    flying_ = std::exchange(waiting_, {});
    ready_ = false;
    writing_ = true;
    lock.unlock();
    // Merged into what the file holds at this moment: another program may have written it.
    int error = 0;
    std::string path;
    std::string keptAs;
    try {
        error = file_.Update(
            [this](std::vector<StoreRecord>& records) { ApplyChanges(flying_, records); }, &keptAs);
        if (error != 0 || !keptAs.empty()) path = file_.Target();
    } catch (const std::bad_alloc&) {
        error = ENOMEM;  // nothing escapes the thread: what waits still waits
    }
    lock.lock();
    writing_ = false;
    lastError_ = error;
    ++writes_;
    if (error == 0 && !keptAs.empty()) {
        backups_.push_back({path, keptAs});
        if (wake_) wake_();
    }
    if (error != 0) {
        // Older than whatever was handed over meanwhile, so written before it.
        flying_.insert(flying_.end(), std::make_move_iterator(waiting_.begin()),
                       std::make_move_iterator(waiting_.end()));
        waiting_ = std::move(flying_);
        failures_.push_back({path, error});
        if (wake_) wake_();
    }
    flying_.clear();
    changed_.notify_all();
}

}  // namespace dravolin::lnx

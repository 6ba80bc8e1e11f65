#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "platform/linux/store/StoreFile.h"

namespace dravolin::lnx {

// A per-user value set, or deleted.
struct StoreChange {
    StoreRecord record;
    bool erase = false;
};

// Applies `changes` in order: the last change of a name wins.
void ApplyChanges(const std::vector<StoreChange>& changes, std::vector<StoreRecord>& records);

// Writes batches of changes into the store file on a thread of its own, so that whoever hands
// them over never waits on the disk: the file's lock, its write and its fsync, which can take
// hundreds of milliseconds on a busy disk, all happen there. Batches are written in the order
// handed over; one handed over while another is being written joins whatever else waits and
// goes into the next write. A batch whose write failed is kept, ahead of those handed over
// after it, for the next hand-over. Its owner's thread (the UI thread) calls every member; the
// writer thread runs only the write and the wake function.
class StoreWriter {
  public:
    struct Failure {
        std::string path;
        int error = 0;  // an errno value, or kStoreNotAFile
    };
    // A damaged file was kept as `backup` before a write replaced it with what could be read.
    struct Backup {
        std::string path;
        std::string backup;
    };

    // `file` must outlive the writer.
    explicit StoreWriter(StoreFile& file);
    // Writes what was handed over, then ends the thread.
    ~StoreWriter();
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;

    // Queues `batch` after everything handed over before, with what a failed write left, and
    // returns at once. Nothing is written when nothing waits.
    void Hand(std::vector<StoreChange> batch);
    // Waits until nothing handed over waits for the writer: 0 when all of it is in the file,
    // else the errno value of the write that failed last.
    int Wait();
    // What was handed over and is not known to be in the file yet, oldest first: the batch
    // being written, then what waits for the next write.
    std::vector<StoreChange> Unwritten() const;
    bool HasUnwritten() const;
    // The writes that failed since the last call, oldest first.
    std::vector<Failure> TakeFailures();
    // The damaged files kept by writes that succeeded since the last call, oldest first.
    std::vector<Backup> TakeBackups();
    // How many writes have ended, whatever their outcome: a reader that keeps what it read of
    // the file reads it again when this changed.
    std::uint64_t Writes() const;
    // Called on the writer thread, with the writer's lock held, after a write failed or kept
    // a damaged file: it may
    // only arrange for the owner's thread to take the failures soon (post an event), never
    // call the writer. Empty for none.
    void SetWake(std::function<void()> wake);

  private:
    void Run();
    // Writes what waits; `lock` is held on entry and on return, not during the write.
    void WriteWaiting(std::unique_lock<std::mutex>& lock);

    StoreFile& file_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<StoreChange> waiting_;  // for the next write
    std::vector<StoreChange> flying_;   // being written; read without the lock by the writer
    bool ready_ = false;                // `waiting_` was handed over since the last write
    bool writing_ = false;
    bool stopping_ = false;
    int lastError_ = 0;
    std::vector<Failure> failures_;
    std::vector<Backup> backups_;
    std::uint64_t writes_ = 0;
    std::function<void()> wake_;
    std::thread thread_;  // started at the first hand-over
};

}  // namespace dravolin::lnx

#pragma once
// Holds the store's writer lock as another program writing the store would, so that a write
// of the store blocks in flock until Release: a store on a disk too busy to answer. Waiting
// is on conditions with deadlines, never on fixed sleeps.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace dravolin::lnx::test {

class StoreLockHolder {
  public:
    // `folder` is the store's folder, which must exist.
    explicit StoreLockHolder(const std::string& folder)
        : fd_(::open((folder + "/store.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        holding_ = fd_ >= 0 && ::flock(fd_, LOCK_EX) == 0;
    }
    ~StoreLockHolder() {
        if (fd_ >= 0) ::close(fd_);
    }
    StoreLockHolder(const StoreLockHolder&) = delete;
    StoreLockHolder& operator=(const StoreLockHolder&) = delete;

    bool Holding() const { return holding_; }
    void Release() {
        if (holding_) ::flock(fd_, LOCK_UN);
        holding_ = false;
    }

    // Waits until someone blocks on the lock, as /proc/locks lists a waiter ("->") on its
    // inode; false when none came before `timeout`.
    bool WaitForWaiter(std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return false;
        const std::string inode = ":" + std::to_string(st.st_ino) + " ";
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream locks("/proc/locks");
            for (std::string line; std::getline(locks, line);) {
                if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) {
                    return true;
                }
            }
            std::this_thread::yield();
        }
        return false;
    }

  private:
    int fd_;
    bool holding_ = false;
};

// Around a call that must not wait for the store's write: releases the holder's lock if the
// call has not returned by the deadline, so that a call that does wait fails its test instead
// of hanging it.
class ReleaseIfLate {
  public:
    explicit ReleaseIfLate(StoreLockHolder& holder,
                           std::chrono::milliseconds deadline = std::chrono::seconds(10))
        : thread_([this, &holder, deadline] {
              std::unique_lock lock(mutex_);
              if (!changed_.wait_for(lock, deadline, [this] { return returned_; })) {
                  late_ = true;
                  holder.Release();
              }
          }) {}
    ~ReleaseIfLate() { Returned(); }
    ReleaseIfLate(const ReleaseIfLate&) = delete;
    ReleaseIfLate& operator=(const ReleaseIfLate&) = delete;

    // The call returned: true when it did before the deadline.
    bool Returned() {
        {
            std::lock_guard lock(mutex_);
            returned_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
        return !late_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool returned_ = false;
    bool late_ = false;
    std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace dravolin::lnx::test

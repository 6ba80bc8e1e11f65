#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "platform/linux/io/Sha256.h"

namespace dravolin::lnx {

// The SHA-256 of a file's bytes as the copy writes them, and the blocks it reads them into.
// For a large file the digest is taken on a thread of its own, a few blocks behind the copy, so
// that the copy reads and writes the next block while the last one is hashed; a file of one
// block is hashed on the copying thread, where waking a thread would cost more than hashing.
// The thread starts with the first large file and is joined when the hasher goes. Without a
// thread to be had, every file is hashed on the copying thread.
//
// Used by one copying thread: Start, then Block and Add for each block written, then Finish
// (or Drop, when the file is not written in full). Every block Add was given stays untouched
// until it is hashed: Block waits for one the thread has done with.
class BlockHasher {
  public:
    static constexpr std::size_t kBlocks = 3;

    explicit BlockHasher(std::size_t blockSize);
    ~BlockHasher();
    BlockHasher(const BlockHasher&) = delete;
    BlockHasher& operator=(const BlockHasher&) = delete;

    // A new file; `overlap` hashes its blocks on the thread.
    void Start(bool overlap);
    // A block to read into and write from, of the size given at construction.
    char* Block();
    // `length` bytes written, hashed next: at the start of the block Block returned last, or
    // at `bytes`, which must stay as they are for as long as the hasher lives.
    void Add(std::size_t length);
    void Add(const char* bytes, std::size_t length);
    // The digest of what was added since Start; waits for the thread to get there.
    std::string Finish();
    // Forgets what was added since Start.
    void Drop();

  private:
    struct Piece {
        const char* bytes;
        std::size_t length;
        bool block;  // one of blocks_, free again once hashed
    };
    void Queue(Piece piece);
    void WaitIdle(std::unique_lock<std::mutex>& lock);
    void Run(std::stop_token stop);

    Sha256 hash_;  // the thread's while it hashes, else the copying thread's
    std::vector<std::vector<char>> blocks_;
    std::size_t next_ = 0;  // the block Block gives
    bool overlap_ = false;

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<Piece> queue_;     // the front one is being hashed
    std::size_t blocksBusy_ = 0;  // queued blocks, the oldest at next_ - blocksBusy_
    std::jthread thread_;         // last: joined before the rest goes
};

}  // namespace dravolin::lnx

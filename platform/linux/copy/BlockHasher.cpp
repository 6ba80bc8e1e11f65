#include "platform/linux/copy/BlockHasher.h"

#include <system_error>

namespace dravolin::lnx {

BlockHasher::BlockHasher(std::size_t blockSize) : blocks_(kBlocks) {
    for (std::vector<char>& block : blocks_) block.resize(blockSize);
}

BlockHasher::~BlockHasher() = default;

void BlockHasher::Start(bool overlap) {
    if (overlap && !thread_.joinable()) {
        try {
            thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
        } catch (const std::system_error&) {
            // No thread to be had: the copy hashes as it goes, only slower.
        }
    }
    overlap_ = overlap && thread_.joinable();
}

char* BlockHasher::Block() {
    if (overlap_) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return blocksBusy_ < kBlocks; });
    }
    return blocks_[next_].data();
}

void BlockHasher::Add(std::size_t length) {
    const char* const bytes = blocks_[next_].data();
    if (!overlap_) {
        hash_.Update(bytes, length);
        return;
    }
    next_ = (next_ + 1) % kBlocks;
    Queue(Piece{bytes, length, true});
}

void BlockHasher::Add(const char* bytes, std::size_t length) {
    if (!overlap_) {
        hash_.Update(bytes, length);
        return;
    }
    Queue(Piece{bytes, length, false});
}

void BlockHasher::Queue(Piece piece) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(piece);
        if (piece.block) ++blocksBusy_;
    }
    changed_.notify_all();
}

void BlockHasher::WaitIdle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [&] { return queue_.empty(); });
}

std::string BlockHasher::Finish() {
    if (overlap_) {
        std::unique_lock lock(mutex_);
        WaitIdle(lock);
    }
    return hash_.Finish();
}

void BlockHasher::Drop() {
    if (overlap_) {
        std::unique_lock lock(mutex_);
        // What the thread has not taken up is not needed; the front piece may be under way.
        while (queue_.size() > 1) {
            if (queue_.back().block) --blocksBusy_;
            queue_.pop_back();
        }
        WaitIdle(lock);
    }
    hash_.Reset();
}

void BlockHasher::Run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (changed_.wait(lock, stop, [&] { return !queue_.empty(); })) {
        const Piece piece = queue_.front();
        lock.unlock();
        hash_.Update(piece.bytes, piece.length);
        lock.lock();
        queue_.pop_front();
        if (piece.block) --blocksBusy_;
        changed_.notify_all();
    }
}

}  // namespace dravolin::lnx

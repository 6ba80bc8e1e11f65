#include "platform/linux/drives/DiscPresence.h"

#include <utility>

namespace dravolin::lnx {

namespace {
// Per thread by nature: only the UI thread runs the poll.
thread_local bool inPoll = false;
// How long this poll has waited for drives so far: the patience is the whole poll's, however
// many drives it tests, so four slow drives keep the dialog no longer than one.
thread_local std::chrono::steady_clock::duration waitedInPoll{};
}  // namespace

DiscPresence::PollScope::PollScope() : previous_(inPoll), previousWaited_(waitedInPoll) {
    inPoll = true;
    waitedInPoll = {};
}

DiscPresence::PollScope::~PollScope() {
    inPoll = previous_;
    waitedInPoll = previousWaited_;
}

DiscPresence::DiscPresence(std::shared_ptr<CdromIo> io, Threads& threads, Timing timing)
    : io_(std::move(io)), threads_(threads), timing_(std::move(timing)) {}

bool DiscPresence::Ask(const std::string& deviceNode) {
    UniqueFd fd = io_->Open(deviceNode);
    return fd && QueryTray(*io_, fd.Get()) == TrayState::DiscOk;
}

// Under `mutex_`, which `lock` holds; on return it holds it again.
void DiscPresence::AskNow(std::unique_lock<std::mutex>& lock, const std::string& deviceNode,
                          Slot& slot) {
    slot.asking = true;
    const unsigned forgotten = slot.forgotten;
    lock.unlock();
    const bool disc = Ask(deviceNode);
    lock.lock();
    if (slot.forgotten == forgotten) {
        slot.answer = disc;
        slot.answeredAt = timing_.now();
    }
    slot.asking = false;
    answered_.notify_all();
}

bool DiscPresence::Start(Job job) {
    return static_cast<bool>(threads_.Create(std::move(job)));
}

bool DiscPresence::HasMedia(const std::string& deviceNode) {
    // A command acts on the answer at once: it asks the drive itself, and waits for it.
    if (!inPoll) return Ask(deviceNode);

    std::unique_lock lock(mutex_);
    Slot& slot = slots_[deviceNode];
    const Clock::time_point called = timing_.now();
    if (slot.answer && called - slot.answeredAt > timing_.freshness) slot.answer.reset();
    if (!slot.answer && !slot.asking) {
        slot.asking = true;
        const bool started = Start([self = shared_from_this(), deviceNode, &slot] {
            std::unique_lock job(self->mutex_);
            self->AskNow(job, deviceNode, slot);
            return 0u;
        });
        if (!started) {
            // No worker to be had: the drive is asked here, as a plain test would.
            slot.asking = false;
            lock.unlock();
            return Ask(deviceNode);
        }
    }
    const auto left = timing_.patience - waitedInPoll;
    if (left > Clock::duration::zero() && !slot.answer) {
        const Clock::time_point waitFrom = Clock::now();
        answered_.wait_for(lock, left, [&] { return slot.answer.has_value(); });
        waitedInPoll += Clock::now() - waitFrom;
    }
    const bool disc = slot.answer.value_or(false);
    slot.answer.reset();
    if (!disc) AskAhead(deviceNode, slot, called);
    slot.lastCall = called;
    return disc;
}

// Under `mutex_`. A drive tested at a steady pace and found without a disc is tested again:
// a drive just given a disc answers its first test only once it has read the disc's table of
// contents, which is often longer than a caller waits; asked `lead` before the next test is
// due, it has answered by then.
void DiscPresence::AskAhead(const std::string& deviceNode, Slot& slot, Clock::time_point called) {
    if (slot.askingAhead || stopping_ || slot.lastCall == Clock::time_point{}) return;
    const Clock::duration pace = called - slot.lastCall;
    if (pace < timing_.shortestPace || pace > timing_.longestPace || pace <= timing_.lead) return;
    slot.askingAhead = true;
    const Clock::duration delay = pace - timing_.lead;
    const bool started = Start([self = shared_from_this(), deviceNode, &slot, delay] {
        std::unique_lock job(self->mutex_);
        self->stop_.wait_for(job, delay, [&] { return self->stopping_; });
        // A late answer waiting there is older than this one will be.
        if (!self->stopping_ && !slot.asking) self->AskNow(job, deviceNode, slot);
        slot.askingAhead = false;
        return 0u;
    });
    if (!started) slot.askingAhead = false;
}

void DiscPresence::Forget(const std::string& deviceNode) {
    std::lock_guard lock(mutex_);
    const auto it = slots_.find(deviceNode);
    if (it == slots_.end()) return;
    it->second.answer.reset();
    ++it->second.forgotten;
}

void DiscPresence::Stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    stop_.notify_all();
}

}  // namespace dravolin::lnx

#include "platform/linux/MediaTests.h"

#include <utility>

namespace dravolin::lnx {

MediaTests::MediaTests(std::shared_ptr<CdromIo> io, Threads& threads, Timing timing)
    : io_(std::move(io)), threads_(threads), timing_(std::move(timing)) {}

bool MediaTests::Ask(const std::string& deviceNode) {
    UniqueFd fd = io_->Open(deviceNode);
    return fd && QueryTray(*io_, fd.Get()) == TrayState::DiscOk;
}

bool MediaTests::HasMedia(const std::string& deviceNode) {
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[deviceNode];
    if (slot.answer && timing_.now() - slot.answeredAt > timing_.freshness) slot.answer.reset();
    if (!slot.answer && !slot.asking) {
        slot.asking = true;
        auto job = [self = shared_from_this(), deviceNode, &slot]() -> std::uint32_t {
            const bool disc = self->Ask(deviceNode);
            std::lock_guard done(self->mutex_);
            slot.answer = disc;
            slot.answeredAt = self->timing_.now();
            slot.asking = false;
            self->answered_.notify_all();
            return 0;
        };
        if (!threads_.Create(std::move(job))) {
            // No worker to be had: the drive is asked here, as a plain test would.
            slot.asking = false;
            lock.unlock();
            return Ask(deviceNode);
        }
    }
    answered_.wait_for(lock, timing_.patience, [&] { return slot.answer.has_value(); });
    const bool disc = slot.answer.value_or(false);
    slot.answer.reset();
    return disc;
}

}  // namespace dravolin::lnx

#include "platform/linux/drives/DriveStates.h"

#include <utility>

namespace dravolin::lnx {

DriveStates::DriveStates(std::shared_ptr<const OpticalDrives> drives, std::shared_ptr<CdromIo> io,
                         Threads& threads, std::string audioCdLabel)
    : drives_(std::move(drives)),
      io_(std::move(io)),
      threads_(threads),
      audioCdLabel_(std::move(audioCdLabel)) {
    for (const OpticalDrive& drive : drives_->All()) {
        slots_.emplace(drive.letter, std::make_unique<Slot>());
    }
}

DriveStates::Slot* DriveStates::SlotOf(char letter) const {
    const auto it = slots_.find(letter);
    return it == slots_.end() ? nullptr : it->second.get();
}

DriveStates::State DriveStates::Get(char letter) const {
    const Slot* slot = SlotOf(letter);
    if (!slot) return {};
    std::lock_guard lock(mutex_);
    return slot->state;
}

void DriveStates::Request(char letter, std::function<void()> done) {
    Slot* slot = SlotOf(letter);
    if (!slot) {
        if (done) done();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (done) slot->waiting.push_back(std::move(done));
        if (slot->requested) return;
        slot->requested = true;
    }
    // The worker refreshes until no caller waits for a refresh that began after its call.
    auto job = [self = shared_from_this(), letter, slot]() -> std::uint32_t {
        for (;;) {
            std::vector<std::function<void()>> met;
            {
                std::lock_guard lock(self->mutex_);
                met.swap(slot->waiting);
            }
            self->Refresh(letter);
            for (auto& callback : met) callback();
            std::lock_guard lock(self->mutex_);
            if (slot->waiting.empty()) {
                slot->requested = false;
                return 0;
            }
        }
    };
    if (threads_.Create(std::move(job))) return;
    std::vector<std::function<void()>> unmet;
    {
        std::lock_guard lock(mutex_);
        slot->requested = false;
        unmet.swap(slot->waiting);
    }
    for (auto& callback : unmet) callback();
}

void DriveStates::Refresh(char letter) {
    const OpticalDrive* drive = drives_->Find(letter);
    Slot* slot = SlotOf(letter);
    if (!drive || !slot) return;
    std::lock_guard refreshing(slot->refreshing);
    RefreshDrive(*drive, *slot);
}

// Worker thread, under the slot's `refreshing` lock.
void DriveStates::RefreshDrive(const OpticalDrive& drive, Slot& slot) {
    State state;
    state.known = true;
    UniqueFd fd = io_->Open(drive.deviceNode);
    state.tray = fd ? QueryTray(*io_, fd.Get()) : TrayState::Failed;
    // Asked whatever the tray says, so that a change seen now is not reported again later.
    const bool changed = fd && MediaChanged(*io_, fd.Get(), slot.lastMediaChange);

    bool readNow = false;
    {
        std::lock_guard lock(mutex_);
        if (state.tray != TrayState::DiscOk || changed) {
            slot.mediumRead = false;
            slot.failedReads = 0;
        }
        if (state.tray == TrayState::DiscOk) {
            readNow = !slot.mediumRead;
            if (!readNow) {
                state.volume = slot.state.volume;
                state.audio = slot.state.audio;
            }
        }
    }
    if (readNow) {
        state.volume = ReadVolumeIdentity(fd.Get(), LastSessionOffset(*io_, fd.Get()));
        if (!state.volume) {
            if (const std::optional<archive::DiscToc> toc = ReadKernelToc(*io_, fd.Get())) {
                state.audio = AudioIdentityOf(*toc);
            }
        }
    }
    const bool gone = state.tray == TrayState::TrayOpen || state.tray == TrayState::NoDisc;
    {
        std::lock_guard lock(mutex_);
        // A drive that has just taken a disc may fail its first reads; a disc that has no file
        // system, or a scratched first sector, is not read at every refresh for ever.
        if (readNow && (state.volume || state.audio || ++slot.failedReads >= kReadsPerMedium)) {
            slot.mediumRead = true;
        }
        slot.state = std::move(state);
    }
    if (gone && discGone_) discGone_(drive.deviceNode);
}

}  // namespace dravolin::lnx

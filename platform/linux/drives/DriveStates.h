#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "platform/Threads.h"
#include "platform/linux/drives/CdromIo.h"
#include "platform/linux/drives/KernelToc.h"
#include "platform/linux/drives/OpticalDrives.h"
#include "platform/linux/drives/VolumeReader.h"

namespace dravolin::lnx {

// What each drive last said about its tray and its disc, learnt on workers so that the UI thread
// never waits on a drive: a scratched disc retries its reads for many seconds. The label and
// serial are read once per medium: again only when the kernel reports a media change since the
// last one this program saw (MediaChanged), or the drive was seen without a readable disc in
// between. A disc without a volume is asked for its table of contents: an audio CD is named by
// it. A read that finds neither is made again at the next refreshes, a few times: a drive that
// has just taken a disc may fail its first reads.
// Thread-safe.
class DriveStates : public std::enable_shared_from_this<DriveStates> {
  public:
    // `threads` starts the refreshes that Request asks for; it must outlive every call of
    // Request, and its workers hold this object. `audioCdLabel` is the label an audio CD
    // shows, in the program's language.
    DriveStates(std::shared_ptr<const OpticalDrives> drives, std::shared_ptr<CdromIo> io,
                Threads& threads, std::string audioCdLabel = kAudioCdLabel);

    struct State {
        bool known = false;  // false until a refresh has ended
        TrayState tray = TrayState::NoInfo;
        std::optional<VolumeIdentity> volume;  // of the disc in the drive, when it has one
        std::optional<AudioIdentity> audio;    // of an audio CD, which has no volume
    };
    // What was learnt last, at once; never touches the drive. Any thread.
    State Get(char letter) const;
    // The label of an audio CD's volume, as Windows names one, wherever the program names a
    // drive by its disc: one text in the program's language, so that they all agree. Any
    // thread.
    const std::string& AudioCdLabel() const { return audioCdLabel_; }

    // Starts a refresh of the drive on a worker, unless one is under way. `done`, when given,
    // is called once a refresh that began after this call has ended: on that worker, or at
    // once when no worker can be started.
    void Request(char letter, std::function<void()> done = {});

    // Asks the drive now, on the calling worker thread. Refreshes of one drive never overlap.
    void Refresh(char letter);

    // `callback` is called with the drive's device node, on the refreshing worker, whenever a
    // refresh finds its tray open or no disc in it. Set once, before the first Request.
    void WhenDiscGone(std::function<void(const std::string& deviceNode)> callback) {
        discGone_ = std::move(callback);
    }

  private:
    static constexpr int kReadsPerMedium = 3;
    struct Slot {
        std::mutex refreshing;    // held for the device work of one refresh
        bool requested = false;   // a Request's worker is on its way or running
        bool mediumRead = false;  // the disc now in the drive has been read, or given up on
        int failedReads = 0;      // reads of this disc that found no volume and no audio CD
        // The kernel's time of the last media change a refresh saw; under `refreshing`.
        std::int64_t lastMediaChange = 0;
        State state;
        std::vector<std::function<void()>> waiting;  // `done` of Requests met by that worker
    };
    Slot* SlotOf(char letter) const;
    void RefreshDrive(const OpticalDrive& drive, Slot& slot);

    std::shared_ptr<const OpticalDrives> drives_;
    std::shared_ptr<CdromIo> io_;
    Threads& threads_;
    const std::string audioCdLabel_;
    std::function<void(const std::string&)> discGone_;
    mutable std::mutex mutex_;  // guards every Slot's fields but `refreshing`
    std::map<char, std::unique_ptr<Slot>> slots_;
};

}  // namespace dravolin::lnx

#pragma once
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include "platform/Threads.h"
#include "platform/linux/drives/CdromIo.h"

namespace dravolin::lnx {

// Whether a drive holds a readable disc, asked on a worker so that the dialog's poll never
// waits on a drive longer than a moment. A drive answers each command only after the one
// before it, and a drive sharing its IDE channel with one being read only once that read is
// done: hundreds of milliseconds, at every poll, for each drive waiting for its next disc.
// Tests made outside the poll (a user's double-click, a worker's) ask the drive on the caller's
// thread, as a plain test does: their caller acts on the answer at once. Thread-safe.
class DiscPresence : public std::enable_shared_from_this<DiscPresence> {
  public:
    using Clock = std::chrono::steady_clock;
    struct Timing {
        // How long one poll waits for the drives' answers, all its tests together.
        std::chrono::milliseconds patience{20};
        // How long an answer that came too late for its caller serves the drive's next test;
        // longer than the dialog's poll period, so that a drive slow at every poll is still
        // heard.
        std::chrono::milliseconds freshness{2000};
        // A drive tested at a pace between these two, and found without a disc, is asked
        // again `lead` before its next test is due.
        std::chrono::milliseconds shortestPace{500};
        std::chrono::milliseconds longestPace{5000};
        std::chrono::milliseconds lead{300};
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
    };
    // `threads` must outlive every call of HasMedia; its workers hold this object.
    DiscPresence(std::shared_ptr<CdromIo> io, Threads& threads, Timing timing);

    // The drive's answer (CDROM_DRIVE_STATUS says a disc is there and readable). In the poll
    // (a PollScope on this thread), when it comes within what is left of the poll's patience,
    // or the answer of a test made ahead, while fresh; otherwise false for now: the drive is
    // asked on, and its answer is the one given to the next test of the drive if that comes
    // while the answer is fresh.
    // An answer is given once; two callers testing one drive at the same moment may see one
    // answer and one false.
    bool HasMedia(const std::string& deviceNode);

    // The disc in the drive is going or gone (an eject or a load was issued, the tray was seen
    // open): an answer given or under way before now is no longer believed.
    void Forget(const std::string& deviceNode);

    // For the end of the program: tests waiting to be made ahead end at once.
    void Stop();

    // Marks the dialog's poll on this thread for as long as it lives (UI thread).
    class PollScope {
      public:
        PollScope();
        ~PollScope();
        PollScope(const PollScope&) = delete;
        PollScope& operator=(const PollScope&) = delete;

      private:
        bool previous_;
        Clock::duration previousWaited_;
    };

  private:
    using Job = std::function<std::uint32_t()>;
    struct Slot {
        bool asking = false;       // a worker is asking the drive
        bool askingAhead = false;  // a worker waits to ask it before the next test
        std::optional<bool> answer;
        unsigned forgotten = 0;  // Forget calls so far: an answer asked before one is dropped
        Clock::time_point answeredAt;
        Clock::time_point lastCall;
    };
    bool Ask(const std::string& deviceNode);
    void AskNow(std::unique_lock<std::mutex>& lock, const std::string& deviceNode, Slot& slot);
    void AskAhead(const std::string& deviceNode, Slot& slot, Clock::time_point called);
    bool Start(Job job);

    std::shared_ptr<CdromIo> io_;
    Threads& threads_;
    Timing timing_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::map<std::string, Slot> slots_;  // by device node
};

}  // namespace dravolin::lnx

#pragma once
// A machine's optical drives in a temporary folder: sysfs entries, device nodes as plain files,
// a mount table, and a CD-ROM ioctl seam that answers as a script says.
#include <climits>
#include <linux/cdrom.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "LinuxTestSupport.h"
#include "platform/linux/drives/CdromIo.h"
#include "platform/linux/mount/DiscMounter.h"
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::lnx::test {

// Opened by a test, awaited by workers the test holds up. It opens by itself at its deadline,
// so that a thread wrongly held behind it (the UI thread) is held once, not for ever.
class Gate {
  public:
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void Close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait_until(lock, deadline_, [&] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    const std::chrono::steady_clock::time_point deadline_ =
        std::chrono::steady_clock::now() + std::chrono::seconds(20);
};

class FakeSystem {
  public:
    FakeSystem();
    // <sys>/block/<name>/device/type holding `scsiType`, and <dev>/<name> as a plain file.
    void AddBlockDevice(const std::string& name, int scsiType, const std::string& model = "");
    void SetDeviceContent(const std::string& name, const std::string& bytes);
    // The device's number ("11:2") in sysfs and udev's database entry for it (`lines`).
    void SetUdevSerial(const std::string& name, const std::string& number,
                       const std::string& lines);
    // A line of /proc/self/mountinfo saying `source` is mounted at `mountPoint`. A mount is
    // known by its device number alone: a node of this system named as the source is made a
    // block device first (MakeBlockNode), and the line carries its number.
    void AddMount(const std::string& source, const std::string& mountPoint);
    // Makes <dev>/<name> a block device node, as a drive's node is: one of its own where this
    // process may make device nodes, else a link to a block device of the machine. Its number
    // as "major:minor", or empty with the reason when neither can be had.
    std::string MakeBlockNode(const std::string& name, std::string& reason);
    SystemRoots Roots() const { return roots_; }
    std::string Dev(const std::string& name) const { return roots_.dev + "/" + name; }
    const TempFolder& Temp() const { return temp_; }

  private:
    TempFolder temp_;
    SystemRoots roots_;
    std::string mountLines_;
    unsigned nodes_ = 0;  // block nodes made, for numbers of their own
};

// Records every open and ioctl with the thread that made it, and answers CDROM_DRIVE_STATUS
// with `status`. The answers may be changed while workers use the seam.
class FakeCdrom : public CdromIo {
  public:
    struct Call {
        unsigned long request;
        std::uintptr_t argument;
        std::thread::id thread;
        std::string node;  // the device node the descriptor was opened on
    };
    UniqueFd Open(const std::string& deviceNode) override;
    int Ioctl(int fd, unsigned long request, std::uintptr_t argument) override;
    // Counts the pause instead of sleeping: a test runs the retries at once.
    void Pause(std::chrono::milliseconds duration) override;
    std::vector<Call> Calls();
    // Every thread that opened the drive or sent it a command.
    std::vector<std::thread::id> Threads();
    // Whether the door of `node` was unlocked (CDROM_LOCKDOOR 0).
    bool Unlocked(const std::string& node);

    std::atomic<int> status{CDS_DISC_OK};
    std::atomic<int> ejectResult{0};
    std::atomic<int> ejectsBusy{0};     // ejects refused with EBUSY before ejectResult answers
    std::atomic<int> ejectsRefused{0};  // then refused by the drive (status 2)
    // A locked door: every eject is refused (status 2) until an unlock (CDROM_LOCKDOOR 0)
    // succeeds, and the first `unlocksRefused` unlocks are refused with EBUSY, as the kernel
    // does while another descriptor of the drive is open.
    std::atomic<bool> doorLocked{false};
    std::atomic<int> unlocksRefused{0};
    std::atomic<int> pauses{0};
    std::atomic<long long> pausedMs{0};
    std::atomic<int> closeResult{0};
    std::atomic<int> lockResult{0};
    std::atomic<long> sessionLba{0};  // CDROMMULTISESSION answer; 0 for a single session
    std::atomic<long> leadOutLba{0};  // the TOC's lead-out (CDROMREADTOCENTRY); 0: refused
    // The TOC's tracks from track 1 on, (start, data track?); empty: CDROMREADTOCHDR refused.
    // Set before any worker uses the seam.
    std::vector<std::pair<long, bool>> tracks;
    // The kernel's record of media changes: the drive reports a change once, to whichever
    // caller asks first, and the kernel stamps it with the time it learnt of it.
    // CDROM_MEDIA_CHANGED answers 1 to that first caller alone; CDROM_TIMED_MEDIA_CHANGE tells
    // each caller whether the stamp is later than the time it passes in.
    void ChangeMedium();
    // CDROM_MEDIA_CHANGED from another process (a desktop's prober); its answer.
    bool AskedElsewhere();
    // Nonzero: a kernel without CDROM_TIMED_MEDIA_CHANGE, which fails with this errno.
    std::atomic<int> timedMediaChangeError{0};
    // Called with every request before it is answered, on the caller's thread: a test may
    // block a command there. Set it before any worker uses the seam.
    std::function<void(unsigned long request)> onIoctl;

  private:
    std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<std::thread::id> openers_;
    std::map<int, std::string> nodes_;  // by open descriptor
    // Guarded by mutex_. The clock is in milliseconds; the drive registered at its start.
    bool changeReported_ = false;  // a change no caller has asked about yet
    std::int64_t clockMs_ = 1000;
    std::int64_t lastChangeMs_ = 1000;
    bool TakeChange();  // under mutex_
};

// The requests of a FakeCdrom's calls, in order.
std::vector<unsigned long> Requests(const std::vector<FakeCdrom::Call>& calls);

// Records mount(2) and umount2(2) and answers with a scripted errno per file system type.
class FakeMountCalls : public MountCalls {
  public:
    int Mount(const std::string& source, const std::string& target, const std::string& fsType,
              unsigned long flags) override;
    int Unmount(const std::string& target, int flags) override;
    // `log` as it stands, while workers may be adding to it.
    std::vector<std::string> Log();

    std::map<std::string, int> mountErrors;  // by file system type; missing means success
    std::vector<std::string> log;

  private:
    std::mutex mutex_;
};

}  // namespace dravolin::lnx::test

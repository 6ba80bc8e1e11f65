#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include "platform/linux/OpticalDrives.h"
#include "platform/linux/UDisks2Client.h"

namespace dravolin::lnx {

// mount(2) and umount2(2): the seam the mounting tests replace.
class MountCalls {
  public:
    virtual ~MountCalls() = default;
    // 0 or an errno value.
    virtual int Mount(const std::string& source, const std::string& target,
                      const std::string& fsType, unsigned long flags);
    virtual int Unmount(const std::string& target, int flags);
};

// Makes a disc's files reachable before a copy and lets go of them before an eject.
// Thread-safe: workers mount for their copies while the UI thread may eject.
class DiscMounter {
  public:
    struct Options {
        std::string mountInfo = "/proc/self/mountinfo";
        std::string busAddress;  // empty: the system bus
        bool useUDisks2 = true;
        std::string privateMountRoot;  // empty: /run/dravolin for root, else $XDG_RUNTIME_DIR
    };
    DiscMounter(Options options, std::shared_ptr<MountCalls> calls);

    struct Mounted {
        bool ok = false;
        std::string mountPoint;
        std::string error;  // why the disc could not be mounted, for the user
    };
    // The folder where the disc's files are: an existing mount, else a read-only mount made
    // through UDisks2, else one made with mount(2) in a private folder.
    Mounted EnsureMounted(const OpticalDrive& drive);

    // Unmounts what this program mounted from the drive; a mount the desktop made is handed
    // back to UDisks2 to unmount, as the desktop's own eject does. True when nothing of the
    // drive stays mounted.
    bool ReleaseForEject(const OpticalDrive& drive);

  private:
    enum class Method { UDisks2, Syscall };
    struct OwnMount {
        std::string mountPoint;
        Method method;
    };
    std::optional<std::string> CurrentMount(const OpticalDrive& drive) const;
    Mounted MountPrivately(const OpticalDrive& drive, const std::string& udisksError);
    std::string PrivateRoot() const;

    Options options_;
    std::shared_ptr<MountCalls> calls_;
    UDisks2Client udisks_;
    std::mutex mutex_;
    std::map<std::string, OwnMount> own_;  // by device node
};

}  // namespace dravolin::lnx

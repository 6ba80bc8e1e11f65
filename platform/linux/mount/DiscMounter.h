#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include "platform/linux/drives/CdromIo.h"
#include "platform/linux/drives/EjectRelease.h"
#include "platform/linux/mount/MountFailure.h"
#include "platform/linux/drives/OpticalDrives.h"
#include "platform/linux/mount/UDisks2Client.h"

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

// Where this program makes the folders of its own mounts, out of other users' reach:
// `configured`, else /run/dravolin for root, else in the user's runtime folder.
std::string PrivateMountRoot(const std::string& configured);

// Makes a disc's files reachable before a copy and lets go of them afterwards. A mount locks
// the drive's door, so whatever this program mounts it also unmounts, with the door unlocked:
// when the copy ends, before an eject, and at the end of the program. Mounts that were there
// before stay. Thread-safe: workers mount for their copies while others eject.
class DiscMounter : public EjectRelease {
  public:
    struct Options {
        std::string mountInfo = "/proc/self/mountinfo";
        std::string busAddress;  // empty: the system bus
        bool useUDisks2 = true;
        std::string privateMountRoot;  // empty: /run/dravolin for root, else $XDG_RUNTIME_DIR
        // How long a disc that carries a file system may stay unknown to UDisks2 (udev has
        // not probed it yet) before the mount counts as failed.
        std::chrono::milliseconds udisksLearnsDisc = std::chrono::seconds(20);
    };
    // `io` unlocks the doors of the drives this program unmounts.
    DiscMounter(Options options, std::shared_ptr<MountCalls> calls,
                std::shared_ptr<CdromIo> io = std::make_shared<CdromIo>());

    struct Mounted {
        bool ok = false;
        std::string mountPoint;
        MountFailure failure;  // why the disc could not be mounted, when !ok
        bool own = false;      // mounted by this call, not found mounted
    };
    // The folder where the disc's files are: an existing mount, else a read-only mount made
    // through UDisks2, else one made with mount(2) in a private folder. A failure's technical
    // answers go to the error output as they come; the result says what they mean.
    Mounted EnsureMounted(const OpticalDrive& drive);

    // Unmounts what this program mounted from the drive; a mount the desktop made is handed
    // back to UDisks2 to unmount, as the desktop's own eject does. True when nothing of the
    // drive stays mounted.
    bool ReleaseForEject(const OpticalDrive& drive) override;

    // Unmounts what this program mounted from the drive and unlocks its door; a mount it found
    // stays, door locked. True when there was one of ours.
    bool ReleaseOwn(const OpticalDrive& drive);
    // The same for every drive, at the end of the program.
    void ReleaseAll();

    // Where the drive's disc is mounted now, by whoever mounted it.
    std::optional<std::string> CurrentMount(const OpticalDrive& drive) const;

  private:
    enum class Method { UDisks2, Syscall };
    struct OwnMount {
        std::string mountPoint;
        Method method;
        std::string name;  // the drive's kernel name, for UDisks2
    };
    // Takes the drive's own mount off the books, so that one caller alone releases it.
    std::optional<OwnMount> TakeOwn(const std::string& deviceNode);
    // True when the mount is gone.
    bool Unmount(const OwnMount& own);
    void Release(const std::string& deviceNode, const OwnMount& own);
    // Mount through UDisks2, waiting while the service does not know the disc's file system
    // yet although the disc carries one. Worker thread: it may wait.
    UDisks2Client::Result MountThroughUDisks2(const OpticalDrive& drive);
    bool CarriesFileSystem(const OpticalDrive& drive);
    Mounted MountPrivately(const OpticalDrive& drive,
                           const std::optional<UDisks2Client::Result>& udisks);

    Options options_;
    std::shared_ptr<MountCalls> calls_;
    std::shared_ptr<CdromIo> io_;
    UDisks2Client udisks_;
    std::mutex mutex_;
    std::map<std::string, OwnMount> own_;  // by device node
};

}  // namespace dravolin::lnx

#pragma once
#include "platform/linux/drives/OpticalDrives.h"
#include "platform/linux/mount/DiscMounter.h"

namespace dravolin::lnx {

// Lets go of a mount made for one copy when the copy ends. Whether an eject follows is not for
// the copy to know (the row may have been unticked, the dialog closed, the copy cancelled), and
// a disc left mounted keeps its door locked: the drive's button would be dead.
class OwnMountRelease {
  public:
    OwnMountRelease(DiscMounter& mounter, const OpticalDrive& drive, bool own)
        : mounter_(mounter), drive_(drive), own_(own) {}
    ~OwnMountRelease() {
        if (own_) mounter_.ReleaseOwn(drive_);
    }
    OwnMountRelease(const OwnMountRelease&) = delete;
    OwnMountRelease& operator=(const OwnMountRelease&) = delete;

  private:
    DiscMounter& mounter_;
    const OpticalDrive& drive_;
    bool own_;
};

}  // namespace dravolin::lnx

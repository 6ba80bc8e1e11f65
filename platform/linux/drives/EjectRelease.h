#pragma once
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::lnx {

// Whatever holds a drive's disc and must let go of it before the tray opens: the kernel
// refuses to eject a disc that is still mounted. The mounter (mount/DiscMounter) is the one
// that does; the drives know it only by this, so that mounting may build on the drives and not
// the other way round.
class EjectRelease {
  public:
    virtual ~EjectRelease() = default;
    // True when nothing of the drive stays held.
    virtual bool ReleaseForEject(const OpticalDrive& drive) = 0;
};

}  // namespace dravolin::lnx

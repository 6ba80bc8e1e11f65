#pragma once
#include <memory>
#include "platform/Volumes.h"
#include "platform/linux/DriveStates.h"
#include "platform/linux/OpticalDrives.h"

namespace dravolin::lnx {

// Drive types and volume information of the optical drives, read from the discs themselves.
// The descriptors are read directly rather than through libblkid: the serial then hashes whole
// descriptors (so two discs that differ only in contents still differ here, and a disc without
// creation dates still gets a serial, where blkid's UUID would be missing), nothing but ISO 9660
// and UDF is ever probed on a data disc, and the reader is small enough to fuzz.
// UI thread: the poll asks for every row on every tick, so nothing here touches a drive.
class LinuxVolumes : public Volumes {
  public:
    LinuxVolumes(std::shared_ptr<const OpticalDrives> drives, std::shared_ptr<DriveStates> states);

    // DRIVE_CDROM for the letters of optical drives, DRIVE_NO_ROOT_DIR for every other path.
    std::uint32_t GetDriveType(const std::string& root) override;
    // What a worker last read from the disc in the drive; fails (ok false, serial 0) until one
    // has, and without a readable data disc. Each call starts a refresh, so a change shows by
    // the next call.
    Info GetVolumeInformation(const std::string& root, std::uint32_t labelCapacity) override;

  private:
    std::shared_ptr<const OpticalDrives> drives_;
    std::shared_ptr<DriveStates> states_;
};

}  // namespace dravolin::lnx

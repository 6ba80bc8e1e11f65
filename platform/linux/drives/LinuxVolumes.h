#pragma once
#include <memory>
#include "platform/Volumes.h"
#include "platform/linux/drives/DriveStates.h"
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::lnx {

// Drive types and volume information of the optical drives, read from the discs themselves.
// The label is the one the desktop shows, read through libblkid as udev reads it for the file
// manager. The serial is our own fingerprint of the descriptors rather than blkid's UUID: it
// hashes whole descriptors, so two discs that differ only in contents still differ here, and a
// disc without creation dates still gets one, where blkid's UUID would be missing.
// UI thread: the poll asks for every row on every tick, so nothing here touches a drive.
class LinuxVolumes : public Volumes {
  public:
    LinuxVolumes(std::shared_ptr<const OpticalDrives> drives, std::shared_ptr<DriveStates> states);

    // DRIVE_CDROM for the letters of optical drives, DRIVE_NO_ROOT_DIR for every other path.
    std::uint32_t GetDriveType(const std::string& root) override;
    // What a worker last read from the disc in the drive; fails (ok false, serial 0) until one
    // has, and without a readable data disc or an audio CD. An audio CD answers as on Windows,
    // which names its volume "Audio CD" (here in the program's language), with the fingerprint
    // of its table of contents for a serial. Each call starts a refresh, so a change shows by
    // the next call.
    Info GetVolumeInformation(const std::string& root, std::uint32_t labelCapacity) override;

  private:
    std::shared_ptr<const OpticalDrives> drives_;
    std::shared_ptr<DriveStates> states_;
};

}  // namespace dravolin::lnx

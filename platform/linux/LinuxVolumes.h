#pragma once
#include <memory>
#include "platform/Volumes.h"
#include "platform/linux/CdromIo.h"
#include "platform/linux/OpticalDrives.h"

namespace dravolin::lnx {

// Drive types and volume information of the optical drives, read from the discs themselves.
// The descriptors are read directly rather than through libblkid: the serial then hashes whole
// descriptors (so two discs that differ only in contents still differ here, and a disc without
// creation dates still gets a serial, where blkid's UUID would be missing), nothing but ISO 9660
// and UDF is ever probed on a data disc, and the reader is small enough to fuzz.
class LinuxVolumes : public Volumes {
  public:
    LinuxVolumes(std::shared_ptr<const OpticalDrives> drives, std::shared_ptr<CdromIo> io);

    // DRIVE_CDROM for the letters of optical drives, DRIVE_NO_ROOT_DIR for every other path.
    std::uint32_t GetDriveType(const std::string& root) override;
    // Fails (ok false, serial 0) without a readable data disc; the drive is asked first, so an
    // empty drive or an open tray answers at once instead of waiting for a read to time out.
    Info GetVolumeInformation(const std::string& root, std::uint32_t labelCapacity) override;

  private:
    std::shared_ptr<const OpticalDrives> drives_;
    std::shared_ptr<CdromIo> io_;
};

}  // namespace dravolin::lnx

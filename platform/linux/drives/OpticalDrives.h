#pragma once
#include <optional>
#include <string>
#include <vector>

namespace dravolin::lnx {

// Where the kernel's views live; tests point these at folders of their own.
struct SystemRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string mountInfo = "/proc/self/mountinfo";
    std::string udevData = "/run/udev/data";
};

struct OpticalDrive {
    char letter = 0;         // 'D' for the first drive, then 'E', ...
    std::string name;        // kernel name, e.g. "sr0"
    std::string deviceNode;  // e.g. "/dev/sr0"
    std::string model;       // the drive's model string, empty when unknown
    std::string serial;      // the serial number udev read from the drive; empty when unknown
};

// The machine's optical drives, found once. Letters are handed out from D upwards in device
// order (sr0 is D:). The table is taken once, like the dialog's rows: a drive plugged in or
// removed later never moves another drive's letter, so a command never reaches the wrong drive.
class OpticalDrives {
  public:
    explicit OpticalDrives(const SystemRoots& roots);
    explicit OpticalDrives(std::vector<OpticalDrive> drives) : drives_(std::move(drives)) {}

    const std::vector<OpticalDrive>& All() const { return drives_; }
    const OpticalDrive* Find(char letter) const;

  private:
    std::vector<OpticalDrive> drives_;
};

// Scans <sys>/block for devices of SCSI type 5 (CD/DVD) and the sr* names, in device order.
std::vector<OpticalDrive> ScanOpticalDrives(const SystemRoots& roots);

}  // namespace dravolin::lnx

#pragma once
#include <memory>
#include "platform/ShellInfo.h"
#include "platform/linux/drives/DriveStates.h"
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::lnx {

// The name of a drive that shows no disc's label: "CD/DVD drive sr1 (E:)"; without the
// drive, "CD/DVD drive (E:)".
std::string DriveDisplayName(const OpticalDrive* drive, char letter);

// The drive as the dialog's list shows it: the disc's label when `states` knows one (an audio
// CD's is the states' AudioCdLabel), else the drive's own name.
std::string NameInList(const OpticalDrive& drive, const DriveStates* states);

// Display names without a desktop: "CD/DVD drive sr1 (E:)" for a drive's root, a folder's own
// name for other paths; never an icon (the Qt front end wraps this and adds the theme's).
class LinuxShellInfo : public ShellInfo {
  public:
    explicit LinuxShellInfo(std::shared_ptr<const OpticalDrives> drives)
        : drives_(std::move(drives)) {}
    FileInfo GetFileInfo(const std::string& path, std::uint32_t attributes,
                         std::uint32_t flags) override;

  private:
    std::shared_ptr<const OpticalDrives> drives_;
};

}  // namespace dravolin::lnx

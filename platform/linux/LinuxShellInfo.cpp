#include "platform/linux/LinuxShellInfo.h"

#include "platform/Types.h"
#include "platform/linux/DrivePaths.h"
#include "platform/linux/TargetPaths.h"

namespace dravolin::lnx {

ShellInfo::FileInfo LinuxShellInfo::GetFileInfo(const std::string& path, std::uint32_t,
                                                std::uint32_t flags) {
    FileInfo info;
    if ((flags & win::kShgfiDisplayName) == 0) return info;
    if (const std::optional<char> letter = LetterOfShellRoot(path)) {
        const OpticalDrive* drive = drives_->Find(*letter);
        const std::string device = drive ? drive->name + " " : std::string();
        info.displayName = "CD/DVD drive " + device + "(" + *letter + ":)";
        return info;
    }
    const std::string folder = FolderOfTarget(path);
    const std::size_t slash = folder.rfind('/');
    info.displayName =
        slash == std::string::npos || folder.size() == 1 ? folder : folder.substr(slash + 1);
    return info;
}

}  // namespace dravolin::lnx

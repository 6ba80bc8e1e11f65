#include "platform/linux/drives/LinuxShellInfo.h"

#include "platform/Types.h"
#include "platform/linux/drives/DrivePaths.h"
#include "platform/linux/paths/TargetPaths.h"

namespace dravolin::lnx {

std::string DriveDisplayName(const OpticalDrive* drive, char letter) {
    const std::string device = drive ? drive->name + " " : std::string();
    return "CD/DVD drive " + device + "(" + letter + ":)";
}

ShellInfo::FileInfo LinuxShellInfo::GetFileInfo(const std::string& path, std::uint32_t,
                                                std::uint32_t flags) {
    FileInfo info;
    if ((flags & win::kShgfiDisplayName) == 0) return info;
    if (const std::optional<char> letter = LetterOfShellRoot(path)) {
        info.displayName = DriveDisplayName(drives_->Find(*letter), *letter);
        return info;
    }
    const std::string folder = FolderOfTarget(path);
    const std::size_t slash = folder.rfind('/');
    info.displayName =
        slash == std::string::npos || folder.size() == 1 ? folder : folder.substr(slash + 1);
    return info;
}

std::string NameInList(const OpticalDrive& drive, const DriveStates* states) {
    if (states) {
        const DriveStates::State state = states->Get(drive.letter);
        if (state.tray == TrayState::DiscOk && (state.volume || state.audio)) {
            const std::string& label = state.volume ? state.volume->label : states->AudioCdLabel();
            return label + " (" + drive.letter + ":)";
        }
    }
    return DriveDisplayName(&drive, drive.letter);
}

}  // namespace dravolin::lnx

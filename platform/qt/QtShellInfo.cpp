#include "platform/qt/QtShellInfo.h"

#include <sys/stat.h>
#include <QIcon>
#include <cctype>
#include "platform/Types.h"
#include "platform/linux/paths/TargetPaths.h"
#include "platform/qt/QtIcon.h"

namespace dravolin::qt {

namespace {
bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

IconPtr ThemeIcon(const char* name) {
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    if (icon.isNull()) return nullptr;
    return std::make_unique<QtIcon>(std::move(icon));
}
}  // namespace

bool QtShellInfo::IsDriveRoot(const std::string& path) {
    return path.size() == 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && path[2] == '\\';
}

ShellInfo::FileInfo QtShellInfo::GetFileInfo(const std::string& path, std::uint32_t attributes,
                                             std::uint32_t flags) {
    FileInfo named = names_.GetFileInfo(path, attributes, flags);
    FileInfo info;
    info.displayName = std::move(named.displayName);
    if (!(flags & win::kShgfiIcon)) return info;
    if (IsDriveRoot(path)) {
        info.icon = ThemeIcon("drive-optical");
    } else if (named.icon || IsFolder(lnx::FolderOfTarget(path))) {
        info.icon = ThemeIcon("folder");
    }
    return info;
}

}  // namespace dravolin::qt

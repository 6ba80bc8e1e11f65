#include "platform/linux/LinuxPathPreparer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include "platform/linux/ErrorText.h"
#include "platform/linux/Folders.h"
#include "platform/linux/TargetPaths.h"

namespace dravolin::lnx {

std::int32_t LinuxPathPreparer::PrepareForWrite(WindowHandle, const std::string& path,
                                                std::uint32_t flags) {
    // Read as a Linux user writes it: the core's backslashes are separators, "~" and a relative
    // path lie in the home folder.
    const std::string folder = FolderOfTarget(path);
    int error = folder.empty() ? ENOENT : 0;
    if (error == 0 && (flags & win::kShppfwDirCreate) != 0) error = MakeFolders(folder);
    if (error == 0) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) {
            error = errno;
        } else if (!S_ISDIR(st.st_mode)) {
            error = ENOTDIR;
        } else if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
            error = errno;
        }
    }
    if (error == 0) {
        lastError_.clear();
        return win::kSOk;
    }
    lastError_ = (folder.empty() ? path : folder) + ": " + ErrorText(error);
    return HresultFromErrno(error);
}

}  // namespace dravolin::lnx

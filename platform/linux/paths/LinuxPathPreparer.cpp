#include "platform/linux/paths/LinuxPathPreparer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <vector>
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/paths/Folders.h"

namespace dravolin::lnx {

namespace {

// HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME): what Windows answers for a path it cannot use.
constexpr auto kBadPathname = static_cast<std::int32_t>(0x800700A1u);

}  // namespace

std::int32_t LinuxPathPreparer::PrepareForWrite(WindowHandle, const std::string& path,
                                                std::uint32_t flags) {
    lastRefusal_ = RefusalOf(path);
    if (lastRefusal_ != TargetRefusal::None) {
        // As the user wrote it, backslashes of a Windows path included, without the separator
        // the core appended.
        lastError_ = LinuxPathOf(path, {});
        while (lastError_.size() > 1 && (lastError_.back() == '/' || lastError_.back() == '\\')) {
            lastError_.pop_back();
        }
        return kBadPathname;
    }
    // Read as a Linux user writes it: the core's backslashes are separators, "~" and a relative
    // path lie in the home folder.
    const std::string folder = FolderOfTarget(path);
    int error = folder.empty() ? ENOENT : 0;
    std::vector<std::string> made;
    if (error == 0 && (flags & win::kShppfwDirCreate) != 0) error = MakeFolders(folder, &made);
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
    RemoveFolders(made);  // a refusal leaves nothing half made
    lastError_ = (folder.empty() ? path : folder) + ": " + ErrorText(error);
    return HresultFromErrno(error);
}

}  // namespace dravolin::lnx

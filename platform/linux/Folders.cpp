#include "platform/linux/Folders.h"

#include <sys/stat.h>
#include <cerrno>

namespace dravolin::lnx {

namespace {

int MakeOne(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return 0;
    const int error = errno;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    return error;
}

}  // namespace

int MakeFolders(const std::string& path) {
    if (path.empty()) return ENOENT;
    // Each prefix that ends before a separator is a parent; "//" and a leading "/" make none.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (path[slash - 1] == '/') continue;
        if (const int error = MakeOne(path.substr(0, slash))) return error;
    }
    return MakeOne(path);
}

}  // namespace dravolin::lnx

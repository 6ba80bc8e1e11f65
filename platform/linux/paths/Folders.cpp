#include "platform/linux/paths/Folders.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace dravolin::lnx {

namespace {

// 0 when `path` is a folder now; `created` tells whether this call made it.
int MakeOne(const std::string& path, bool& created) {
    created = false;
    if (::mkdir(path.c_str(), 0777) == 0) {
        created = true;
        return 0;
    }
    const int error = errno;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    return error;
}

}  // namespace

int MakeFolders(const std::string& path, std::vector<std::string>* made) {
    if (made) made->clear();
    if (path.empty()) return ENOENT;
    std::vector<std::string> own;
    int error = 0;
    // Each prefix that ends before a separator is a parent; "//" and a leading "/" make none.
    for (std::size_t slash = path.find('/', 1); error == 0; slash = path.find('/', slash + 1)) {
        if (slash != std::string::npos && path[slash - 1] == '/') continue;
        const std::string level = slash == std::string::npos ? path : path.substr(0, slash);
        bool created = false;
        error = MakeOne(level, created);
        if (created) own.push_back(level);
        if (slash == std::string::npos) break;
    }
    if (error != 0) {
        // A name too long, a file in the way, no room: none of the levels above it stay.
        RemoveFolders(own);
        return error;
    }
    if (made) *made = std::move(own);
    return 0;
}

void RemoveFolders(const std::vector<std::string>& made) {
    for (auto level = made.rbegin(); level != made.rend(); ++level) {
        if (::rmdir(level->c_str()) != 0) return;
    }
}

}  // namespace dravolin::lnx

#include "platform/linux/archive/Utf8Payload.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include "archive/Utf8Names.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string Join(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "/" + name;
}

class Renamer {
  public:
    Renamer(CopyIo& io, std::vector<StoredAs>& renamed) : io_(io), renamed_(renamed) {}

    // The folder `fd` was `original` on the disc and is `stored` in the bag.
    int Walk(int fd, const std::string& original, const std::string& stored) {
        std::vector<std::string> names;
        if (const int error = List(fd, names)) return error;
        const std::vector<std::string> storedNames = archive::StoredUtf8Names(names);
        bool changed = false;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string from = Join(original, names[i]), to = Join(stored, storedNames[i]);
            if (storedNames[i] != names[i]) {
                if (io_.RenameNoReplace(fd, names[i].c_str(), fd, storedNames[i].c_str()) != 0) {
                    return errno;
                }
                changed = true;
                renamed_.push_back({to, from});
            }
            if (from != to) moved_.emplace(from, to);
            struct stat info {};
            if (::fstatat(fd, storedNames[i].c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
                return errno;
            if (!S_ISDIR(info.st_mode)) continue;
            const UniqueFd child(::openat(fd, storedNames[i].c_str(),
                                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child) return errno;
            if (const int error = Walk(child.Get(), from, to)) return error;
        }
        // A rename is on the disk only once its folder is.
        return changed && io_.DataSync(fd) != 0 ? errno : 0;
    }

    // Where a disc path is in the bag.
    std::string StoredPath(const std::string& original) const {
        const auto found = moved_.find(original);
        return found == moved_.end() ? original : found->second;
    }

  private:
    static int List(int fd, std::vector<std::string>& names) {
        const int listed = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listed < 0) return errno;
        const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listed));
        if (!dir) {
            const int error = errno;
            ::close(listed);
            return error;
        }
        errno = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
            errno = 0;
        }
        if (errno != 0) return errno;
        // In the copy's order, so that of names made equal the first keeps it.
        std::sort(names.begin(), names.end());
        return 0;
    }

    CopyIo& io_;
    std::vector<StoredAs>& renamed_;
    std::map<std::string, std::string> moved_;  // disc path -> bag path, where they differ
};

}  // namespace

int StoreUtf8Names(CopyIo& io, int data, ArchiveRecord& record, std::vector<StoredAs>& renamed) {
    Renamer renamer(io, renamed);
    if (const int error = renamer.Walk(data, "", "")) return error;
    for (ArchivedFile& file : record.files) file.path = renamer.StoredPath(file.path);
    return 0;
}

}  // namespace dravolin::lnx

#include "platform/linux/archive/TargetClaims.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>
#include "archive/SameDisc.h"

namespace dravolin::lnx {

namespace {

// A bag-info.txt is a few hundred bytes; a larger file is no bag's and is not read on.
constexpr std::size_t kMaxBagInfoBytes = 64 * 1024;

std::string ReadSmallFile(int folderFd, const char* name) {
    const UniqueFd fd(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    std::string text(kMaxBagInfoBytes, '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

struct CloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

UniqueFd ClaimDisc(const std::string& target, std::string_view identity) {
    UniqueFd fd(::open((target + "/" + kClaimsFileName).c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd) return fd;
    struct flock claim {};
    claim.l_type = F_WRLCK;
    claim.l_whence = SEEK_SET;
    claim.l_start = static_cast<off_t>(archive::ClaimByte(identity));
    claim.l_len = 1;
    while (::fcntl(fd.Get(), F_OFD_SETLKW, &claim) != 0) {
        if (errno != EINTR) return UniqueFd(-1);
    }
    return fd;
}

std::vector<Archiver::BagInfoText> ReadBagInfos(const std::string& target) {
    std::vector<Archiver::BagInfoText> found;
    const int folderFd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return found;
    const std::unique_ptr<DIR, CloseDir> dir(::fdopendir(folderFd));
    if (!dir) {
        ::close(folderFd);
        return found;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.') continue;
        const UniqueFd bag(
            ::openat(folderFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!bag) continue;
        std::string text = ReadSmallFile(bag.Get(), "bag-info.txt");
        if (!text.empty()) found.push_back({entry->d_name, std::move(text)});
    }
    return found;
}

}  // namespace dravolin::lnx

#include "platform/linux/archive/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <thread>
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/paths/Folders.h"

namespace dravolin::lnx {

namespace {

// A log this long holds hundreds of thousands of discs; anything longer is not ours.
constexpr off_t kLongestLog = 256 << 20;

std::string PathOf(const std::string& folder) {
    return folder + "/" + std::string(archive::kLogFileName);
}

// Another program may hold the lock for as long as it likes; a drive waits a while, then goes
// on without it rather than stand still.
bool Lock(int fd, int operation) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Opens the log without waiting: a FIFO or a device under the log's name would otherwise hold
// the drive in open() for ever. Anything but a regular file is not a log; errno then EINVAL.
UniqueFd OpenLog(const std::string& path, int flags) {
    UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat info {};
    if (fd && (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))) {
        fd.Reset();
        errno = EINVAL;
    }
    return fd;
}

}  // namespace

std::string ReadLogFile(const std::string& folder) {
    const UniqueFd fd = OpenLog(PathOf(folder), O_RDONLY);
    if (!fd || !Lock(fd.Get(), LOCK_SH)) return {};
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || info.st_size > kLongestLog) return {};
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::pread(fd.Get(), text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

bool AppendLogRow(CopyIo& io, const std::string& folder, const archive::LogRow& row) {
    // Made ready by the copy cycle, but a disc that got no bag may be the first to arrive.
    if (MakeFolders(folder) != 0) return false;
    const std::string path = PathOf(folder);
    const UniqueFd fd = OpenLog(path, O_RDWR | O_CREAT);
    if (!fd || !Lock(fd.Get(), LOCK_EX)) return false;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return false;
    const off_t size = info.st_size;
    // Only the last byte tells whether the log is new or was torn.
    std::string end;
    if (size > 0) {
        char last = 0;
        if (::pread(fd.Get(), &last, 1, size - 1) != 1) return false;
        end.assign(1, last);
    }
    const std::string text = archive::AppendText(end, row);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = io.Write(fd.Get(), text.data() + written, text.size() - written,
                                   size + static_cast<off_t>(written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    if (written < text.size() || io.DataSync(fd.Get()) != 0) {
        if (::ftruncate(fd.Get(), size) == 0) io.DataSync(fd.Get());
        return false;
    }
    if (size == 0) {
        // A new log's name must reach the disk too.
        const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir || io.DataSync(dir.Get()) != 0) return false;
    }
    return true;
}

}  // namespace dravolin::lnx

#include "platform/linux/StoreFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <random>
#include "platform/linux/Folders.h"
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr std::size_t kMaxFileSize = 64u << 20;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_dir) return user->pw_dir;
    return "/";
}

int WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

StoreFile::StoreFile(std::string folder) : folder_(std::move(folder)), path_(folder_ + "/store") {}

std::string StoreFile::DefaultFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && config[0] == '/' ? config : HomeFolder() + "/.config";
    return base + "/dravolin";
}

std::string StoreFile::ReadAll(bool& readable) const {
    std::string bytes;
    readable = false;
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) return bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return bytes;
        if (n == 0) break;
        const std::size_t room = kMaxFileSize - bytes.size();
        bytes.append(buffer, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
        if (bytes.size() >= kMaxFileSize) break;
    }
    readable = true;
    return bytes;
}

ParsedStore StoreFile::Load() const {
    bool readable = false;
    const std::string bytes = ReadAll(readable);
    return ParseStore(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

int StoreFile::WriteAtomically(const std::string& path, const std::string& bytes) const {
    std::mt19937_64 random(std::random_device{}());
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd; ++attempt) {
        temp = folder_ + "/.store-" + std::to_string(random()) + ".tmp";
        fd.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd && errno != EEXIST) return errno;
    }
    if (!fd) return EEXIST;
    int error = WriteAll(fd.Get(), bytes);
    if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
    fd.Reset();
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    UniqueFd folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) ::fsync(folder.Get());
    return 0;
}

int StoreFile::KeepBackup(const std::string& bytes) const {
    // A hard link keeps the damaged file whole, whatever its size; where links are not to be
    // had, the bytes that were read are written instead.
    const std::string backup = path_ + ".bak";
    const std::string temp = folder_ + "/.store-bak-" + std::to_string(::getpid()) + ".tmp";
    ::unlink(temp.c_str());
    if (::link(path_.c_str(), temp.c_str()) == 0) {
        if (::rename(temp.c_str(), backup.c_str()) == 0) return 0;
        ::unlink(temp.c_str());
    }
    return WriteAtomically(backup, bytes);
}

int StoreFile::Update(const std::function<void(std::vector<StoreRecord>&)>& change) {
    const std::size_t slash = folder_.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int error = MakeFolders(folder_.substr(0, slash))) return error;
    }
    if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) return errno;

    UniqueFd lock(
        ::open((folder_ + "/store.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock) return errno;
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return errno;
    }
    // Read again under the lock: another instance may have written since our last look.
    bool readable = false;
    const std::string bytes = ReadAll(readable);
    ParsedStore current =
        ParseStore(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!readable && ::access(path_.c_str(), F_OK) == 0) return EIO;  // never overwrite blind
    if (current.damaged) {
        if (const int error = KeepBackup(bytes)) return error;
    }
    change(current.records);
    return WriteAtomically(path_, SerializeStore(current.records));
    // The lock goes with `lock`.
}

}  // namespace dravolin::lnx

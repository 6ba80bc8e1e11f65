#include "platform/linux/StoreFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <random>
#include "platform/linux/Folders.h"
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr std::size_t kMaxFileSize = 64u << 20;
constexpr int kMaxLinks = 40;  // as the kernel follows at most 40
constexpr int kBackups = 3;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_dir) return user->pw_dir;
    return "/";
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where `path` leads through its symbolic links: a file, or the name a new file gets.
int FollowLinks(std::string path, std::string& target) {
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = std::move(path);
            return 0;
        }
        std::array<char, 4096> text{};
        const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
        if (n < 0) return errno;
        if (n == 0 || static_cast<std::size_t>(n) >= text.size()) return ENAMETOOLONG;
        const std::string link(text.data(), static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
    }
    return ELOOP;
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

std::string ReadAll(const std::string& path, bool& readable) {
    std::string bytes;
    readable = false;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
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

ParsedStore Parse(const std::string& bytes) {
    return ParseStore(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// Replaces `path` with `bytes` through a flushed temporary file beside it.
int WriteAtomically(const std::string& path, const std::string& bytes) {
    const std::string folder = FolderOf(path);
    std::mt19937_64 random(std::random_device{}());
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd; ++attempt) {
        temp = folder + "/.store-" + std::to_string(random()) + ".tmp";
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
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd) ::fsync(folderFd.Get());
    return 0;
}

std::string BackupName(const std::string& file, int generation) {
    return file + ".bak." + std::to_string(generation);
}

// Whether the newest backup already is this damaged file: a rewrite that failed after
// keeping it must not push an older backup out with a second copy.
bool AlreadyKept(const std::string& file, const std::string& bytes) {
    const std::string newest = BackupName(file, 1);
    struct stat kept {};
    struct stat now {};
    if (::lstat(newest.c_str(), &kept) != 0 || !S_ISREG(kept.st_mode)) return false;
    if (::stat(file.c_str(), &now) == 0 && now.st_dev == kept.st_dev && now.st_ino == kept.st_ino) {
        return true;
    }
    bool readable = false;
    return static_cast<std::size_t>(kept.st_size) == bytes.size() &&
           ReadAll(newest, readable) == bytes && readable;
}

// Keeps the damaged `file` as backup 1, the earlier backups moving one generation on and the
// oldest beyond the last going. A hard link keeps the file whole, whatever its size; where
// links are not to be had, the bytes that were read are written instead.
int KeepBackup(const std::string& file, const std::string& bytes) {
    if (AlreadyKept(file, bytes)) return 0;
    for (int generation = kBackups; generation > 1; --generation) {
        const std::string older = BackupName(file, generation - 1);
        if (::rename(older.c_str(), BackupName(file, generation).c_str()) != 0 && errno != ENOENT) {
            return errno;
        }
    }
    const std::string newest = BackupName(file, 1);
    if (::link(file.c_str(), newest.c_str()) == 0) return 0;
    return WriteAtomically(newest, bytes);
}

}  // namespace

StoreFile::StoreFile(std::string folder) : folder_(std::move(folder)), path_(folder_ + "/store") {}

std::string StoreFile::DefaultFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && config[0] == '/' ? config : HomeFolder() + "/.config";
    return base + "/dravolin";
}

std::string StoreFile::Target() const {
    std::string target;
    return FollowLinks(path_, target) == 0 ? target : path_;
}

ParsedStore StoreFile::Load() const {
    std::string target;
    if (FollowLinks(path_, target) != 0) return {};
    bool readable = false;
    return Parse(ReadAll(target, readable));
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
    std::string target;
    if (const int error = FollowLinks(path_, target)) return error;
    // Read again under the lock: another instance may have written since our last look.
    bool readable = false;
    const std::string bytes = ReadAll(target, readable);
    ParsedStore current = Parse(bytes);
    if (!readable && ::access(target.c_str(), F_OK) == 0) return EIO;  // never overwrite blind
    if (current.damaged) {
        if (const int error = KeepBackup(target, bytes)) return error;
    }
    change(current.records);
    return WriteAtomically(target, SerializeStore(current.records));
    // The lock goes with `lock`.
}

}  // namespace dravolin::lnx

#include "platform/linux/store/StoreFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include "platform/linux/paths/Folders.h"
#include "platform/linux/paths/TargetPaths.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr int kBackups = 3;

ParsedStore Parse(const StoreBytes& read) {
    ParsedStore parsed = ParseStore(
        std::span(reinterpret_cast<const std::uint8_t*>(read.bytes.data()), read.bytes.size()));
    // What lies past the cap was never looked at: a rewrite would lose it.
    if (read.error == 0 && !read.whole) parsed.damaged = true;
    return parsed;
}

std::string BackupName(const std::string& file, int generation) {
    return file + ".bak." + std::to_string(generation);
}

UniqueFd OpenRegular(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd && (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))) fd.Reset();
    return fd;
}

// Whether the files open at `a` and `b` hold the same bytes.
bool SameBytes(int a, int b) {
    std::array<char, 65536> left;
    std::array<char, 65536> right;
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(a, left.data(), left.size(), at);
        if (n < 0) return false;
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(n)) {
            const ssize_t m = ::pread(b, right.data() + got, static_cast<std::size_t>(n) - got,
                                      at + static_cast<off_t>(got));
            if (m <= 0) return false;
            got += static_cast<std::size_t>(m);
        }
        if (std::memcmp(left.data(), right.data(), got) != 0) return false;
        if (n == 0) {
            char more = 0;
            return ::pread(b, &more, 1, at) == 0;
        }
        at += n;
    }
}

// Whether the newest backup already is this damaged file: a rewrite that failed after
// keeping it must not push an older backup out with a second copy.
bool AlreadyKept(const std::string& file) {
    const UniqueFd kept = OpenRegular(BackupName(file, 1));
    const UniqueFd now = OpenRegular(file);
    struct stat a {};
    struct stat b {};
    if (!kept || !now || ::fstat(kept.Get(), &a) != 0 || ::fstat(now.Get(), &b) != 0) return false;
    if (a.st_dev == b.st_dev && a.st_ino == b.st_ino) return true;
    return a.st_size == b.st_size && SameBytes(kept.Get(), now.Get());
}

// Keeps the damaged `file` whole as backup 1, the earlier backups moving one generation on
// and the oldest beyond the last going. The new backup is made first, under a name of its
// own: where it cannot be made (a full disk, a file another user owns), the older ones stay
// as they are. A hard link keeps the file whatever its size; where links are not to be had,
// all of it is copied, also what lies past the size cap.
int KeepBackup(const std::string& file) {
    if (AlreadyKept(file)) return 0;
    const std::string staged = file + ".bak.new";
    ::unlink(staged.c_str());  // what a writer killed here left; writers hold the store's lock
    if (::link(file.c_str(), staged.c_str()) != 0) {
        const int linkError = errno;
        const UniqueFd source = OpenRegular(file);
        if (!source) return linkError;
        if (const int error = CopyAtomically(source.Get(), staged)) return error;
    }
    for (int generation = kBackups; generation > 1; --generation) {
        const std::string older = BackupName(file, generation - 1);
        if (::rename(older.c_str(), BackupName(file, generation).c_str()) != 0 && errno != ENOENT) {
            const int error = errno;
            ::unlink(staged.c_str());
            return error;
        }
    }
    if (::rename(staged.c_str(), BackupName(file, 1).c_str()) != 0) {
        const int error = errno;
        ::unlink(staged.c_str());
        return error;
    }
    return 0;
}

}  // namespace

StoreFile::StoreFile(std::string folder, std::size_t sizeCap)
    : folder_(std::move(folder)), path_(folder_ + "/store"), sizeCap_(sizeCap) {}

std::string StoreFile::DefaultFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && config[0] == '/' ? config : HomeFolder() + "/.config";
    return base + "/dravolin";
}

std::string StoreFile::Target() const {
    std::string target;
    return FollowLinks(path_, target) == 0 ? target : path_;
}

ParsedStore StoreFile::Load(FileStamp* stamp) const {
    if (stamp) *stamp = {};
    std::string target;
    if (FollowLinks(path_, target) != 0) return {};
    const StoreBytes read = ReadStoreBytes(target, sizeCap_);
    if (stamp) *stamp = read.stamp;
    if (read.error != 0) return {};
    return Parse(read);
}

FileStamp StoreFile::Stamp() const {
    std::string target;
    return FollowLinks(path_, target) == 0 ? StampOf(target) : FileStamp{};
}

int StoreFile::Update(const std::function<void(std::vector<StoreRecord>&)>& change,
                      std::string* keptAs) {
    if (keptAs) keptAs->clear();
    const std::size_t slash = folder_.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (const int error = MakeFolders(folder_.substr(0, slash))) return error;
    }
    if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) return errno;

    UniqueFd lock(::open((folder_ + "/store.lock").c_str(),
                         O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock) return errno;
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return errno;
    }
    std::string target;
    if (const int error = FollowLinks(path_, target)) return error;
    // Read again under the lock: another instance may have written since our last look.
    const StoreBytes read = ReadStoreBytes(target, sizeCap_);
    if (read.error != 0 && read.error != ENOENT) return read.error;  // never overwrite blind
    ParsedStore current = Parse(read);
    RemoveStoreLeftovers(FolderOf(target));
    if (current.damaged) {
        if (const int error = KeepBackup(target)) return error;
        if (keptAs) *keptAs = BackupName(target, 1);
    }
    change(current.records);
    return WriteAtomically(target, SerializeStore(current.records));
    // The lock goes with `lock`.
}

}  // namespace dravolin::lnx

#include "platform/linux/copy/FolderChain.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>

namespace dravolin::lnx {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Enough for the trees of nearly every disc to be walked without opening a folder twice; few
// enough that several copies at once stay far below a desktop session's descriptor limit.
constexpr std::size_t kOpenLevels = 16;

// Opens the folder `name` of `parent` and checks what it is; errno set on failure.
UniqueFd OpenChild(int parent, const std::string& name, const FileId* expected, FileId& id) {
    UniqueFd fd(::openat(parent, name.c_str(), kFolderFlags));
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return UniqueFd();
    id = IdOf(st);
    if (expected && !(*expected == id)) {
        errno = ESTALE;
        return UniqueFd();
    }
    return fd;
}

}  // namespace

FileId IdOf(const struct stat& st) {
    return FileId{st.st_dev, st.st_ino};
}

UniqueFd OpenFolderStepwise(int base, std::string_view relative) {
    UniqueFd current(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    while (current && !relative.empty()) {
        const std::size_t slash = relative.find('/');
        const std::string name(relative.substr(0, slash));
        relative =
            slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
        current.Reset(::openat(current.Get(), name.c_str(), kFolderFlags));
    }
    return current;
}

UniqueFd OpenFolderBelow(int base, std::string_view relative, FileId expected) {
    UniqueFd folder;
    if (relative.empty()) {
        folder.Reset(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    } else {
        // One call where the kernel has it; a sandbox may refuse it as unknown.
        open_how how{};
        how.flags = kFolderFlags;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const std::string path(relative);
        folder.Reset(
            static_cast<int>(::syscall(SYS_openat2, base, path.c_str(), &how, sizeof how)));
        if (!folder && (errno == ENOSYS || errno == EPERM))
            folder = OpenFolderStepwise(base, relative);
    }
    if (!folder) return folder;
    struct stat st {};
    if (::fstat(folder.Get(), &st) != 0) return UniqueFd();
    if (!(IdOf(st) == expected)) {
        errno = ESTALE;
        return UniqueFd();
    }
    return folder;
}

FolderChain::FolderChain(int root, FileId rootId) : root_(root) {
    levels_.push_back(Level{"", rootId, UniqueFd()});
}

int FolderChain::FdOf(std::size_t level) const {
    return level == 0 ? root_ : levels_[level].fd.Get();
}

int FolderChain::Enter(const std::string& name, const FileId* expected) {
    const int parent = Fd();
    if (parent < 0) return errno;
    FileId id;
    UniqueFd fd = OpenChild(parent, name, expected, id);
    if (!fd) return errno;
    levels_.push_back(Level{name, id, std::move(fd)});
    ++open_;
    CloseShallowest();
    return 0;
}

void FolderChain::Leave() {
    if (levels_.size() <= 1) return;
    if (levels_.back().fd) --open_;
    levels_.pop_back();
}

int FolderChain::Fd() {
    const std::size_t current = levels_.size() - 1;
    if (current == 0 || levels_[current].fd) return FdOf(current);
    std::size_t level = current;
    while (level > 1 && !levels_[level - 1].fd) --level;
    // Every level from `level` down to the current one is closed; the one above it is open
    // (the root always is).
    for (; level <= current; ++level) {
        if (Open(level) < 0) return -1;
    }
    return FdOf(current);
}

int FolderChain::Open(std::size_t level) {
    Level& wanted = levels_[level];
    FileId id;
    wanted.fd = OpenChild(FdOf(level - 1), wanted.name, &wanted.id, id);
    if (!wanted.fd) return -1;
    ++open_;
    CloseShallowest();
    return wanted.fd.Get();
}

void FolderChain::CloseShallowest() {
    for (std::size_t level = 1; open_ > kOpenLevels && level < levels_.size(); ++level) {
        if (levels_[level].fd) {
            levels_[level].fd.Reset();
            --open_;
        }
    }
}

bool FolderChain::OnPath(FileId id) const {
    for (const Level& level : levels_) {
        if (level.id == id) return true;
    }
    return false;
}

}  // namespace dravolin::lnx

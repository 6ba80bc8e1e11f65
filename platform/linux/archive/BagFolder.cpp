#include "platform/linux/archive/BagFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>
#include <vector>
#include "platform/linux/copy/FolderChain.h"
#include "platform/linux/io/FileLocks.h"

namespace dravolin::lnx {

namespace {

constexpr int kNameAttempts = 16;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct Entry {
    std::string name;
    bool folder = false;
};

// The entries of the folder open at `fd` (which stays the caller's); false if unreadable.
bool List(int fd, std::vector<Entry>& entries) {
    entries.clear();
    UniqueFd own(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!own) return false;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(own.Get()));
    if (!dir) return false;
    own.Release();
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder =
                ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back(Entry{name, folder});
    }
    return errno == 0;
}

}  // namespace

BagFolder MakeBagFolder(int targetFd, const TempOwner& self, std::uint64_t random, int& error) {
    error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        BagFolder bag;
        bag.name = TempName(self, random + static_cast<std::uint64_t>(attempt));
        if (::mkdirat(targetFd, bag.name.c_str(), 0777) != 0) {
            error = errno;
            if (error == EEXIST) continue;
            return {};
        }
        bag.folder.Reset(
            ::openat(targetFd, bag.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (bag.folder) {
            bag.lock = CreateLockedFile(bag.folder.Get(), kBagLockName, O_WRONLY, 0600, error);
        } else {
            error = errno;
        }
        if (bag.lock) return bag;
        bag.folder.Reset();
        RemoveTree(targetFd, bag.name);
        // A cleaner that took the empty, still unlocked folder for a leftover: another name.
        if (error != ENOENT && error != EEXIST) return {};
    }
    return {};
}

std::vector<std::string> GoneWritersBags(int targetFd, const TempOwner& self) {
    std::vector<std::string> gone;
    std::vector<Entry> entries;
    if (!List(targetFd, entries)) return gone;
    for (const Entry& entry : entries) {
        if (!entry.folder || !LooksLikeTempName(entry.name)) continue;
        const std::optional<TempOwner> owner = OwnerOfTemp(entry.name);
        if (!owner || MayBeAlive(*owner, self)) continue;
        struct stat st {};
        if (::fstatat(targetFd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
            gone.push_back(entry.name);
        }
    }
    return gone;
}

void RemoveStaleBags(int targetFd, const TempOwner& self) {
    for (const std::string& name : GoneWritersBags(targetFd, self)) {
        const UniqueFd bag(
            ::openat(targetFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!bag) continue;
        struct stat lock {};
        if (::fstatat(bag.Get(), kBagLockName, &lock, AT_SYMLINK_NOFOLLOW) != 0) {
            // No proof either way: a writer dead before it took its lock left the folder empty;
            // anything else may be a bag about to get its name.
            ::unlinkat(targetFd, name.c_str(), AT_REMOVEDIR);
            continue;
        }
        if (!RemoveIfAbandoned(bag.Get(), kBagLockName)) continue;
        RemoveTree(targetFd, name);
    }
}

bool RemoveTree(int parentFd, const std::string& name) {
    UniqueFd root(
        ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!root || ::fstat(root.Get(), &st) != 0) return false;
    {
        FolderChain chain(root.Get(), IdOf(st));
        std::vector<std::string> below;  // the folders from the root down to the current one
        std::vector<Entry> entries;
        for (;;) {
            const int fd = chain.Fd();
            if (fd < 0 || !List(fd, entries)) return false;
            const Entry* folder = nullptr;
            for (const Entry& entry : entries) {
                if (entry.folder) {
                    folder = &entry;
                } else if (::unlinkat(fd, entry.name.c_str(), 0) != 0) {
                    return false;
                }
            }
            if (folder) {
                if (chain.Enter(folder->name) != 0) return false;
                below.push_back(folder->name);
                continue;
            }
            if (below.empty()) break;
            chain.Leave();
            const int up = chain.Fd();
            if (up < 0 || ::unlinkat(up, below.back().c_str(), AT_REMOVEDIR) != 0) return false;
            below.pop_back();
        }
    }
    root.Reset();
    return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace dravolin::lnx

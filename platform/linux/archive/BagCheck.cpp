#include "platform/linux/archive/BagCheck.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include "archive/BagText.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr char kPayloadManifest[] = "manifest-sha256.txt";
constexpr char kTagManifest[] = "tagmanifest-sha256.txt";

struct CheckCloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// A listing of the folder `dir` through a descriptor of its own: `dir` stays the caller's.
std::unique_ptr<DIR, CheckCloseDir> ListingOf(int dir) {
    const int copy = ::dup(dir);
    if (copy < 0) return nullptr;
    std::unique_ptr<DIR, CheckCloseDir> listing(::fdopendir(copy));
    if (!listing) {
        ::close(copy);
        return listing;
    }
    // The copy shares the caller's place in the folder, which an earlier listing left at its end.
    ::rewinddir(listing.get());
    return listing;
}

// Opens `path` below the folder `dir`, one name at a time, no link followed: a manifest's
// "../x" or a link in the bag never reaches outside it. -1 with errno where it cannot.
UniqueFd OpenBelow(int dir, const std::string& path, int flags) {
    UniqueFd at;
    std::size_t from = 0;
    for (;;) {
        const std::size_t slash = path.find('/', from);
        const std::string name = path.substr(from, slash - from);
        if (name.empty() || name == "." || name == "..") {
            errno = ENOENT;
            return UniqueFd();
        }
        const bool last = slash == std::string::npos;
        UniqueFd next(::openat(at ? at.Get() : dir, name.c_str(),
                               (last ? flags : O_RDONLY | O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC));
        if (!next || last) return next;
        at = std::move(next);
        from = slash + 1;
    }
}

// The digest of a regular file's bytes; nullopt with errno where it cannot be read, or when
// `progress` stopped it (errno 0).
std::optional<std::string> DigestOf(int fd, std::uint64_t& read,
                                    const std::function<bool(std::uint64_t)>& progress) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    if (!S_ISREG(info.st_mode)) {
        errno = ENOENT;
        return std::nullopt;
    }
    Sha256 digest;
    std::vector<char> block(1 << 20);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, block.data(), block.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return digest.Finish();
        digest.Update(block.data(), static_cast<std::size_t>(n));
        at += n;
        read += static_cast<std::uint64_t>(n);
        if (progress && !progress(read)) {
            errno = 0;
            return std::nullopt;
        }
    }
}

// Checks each line of a manifest against the bag; false when `progress` stopped it.
bool CheckLines(int bag, const std::vector<archive::ManifestLine>& lines,
                archive::BagFindings& found, std::uint64_t& read,
                const std::function<bool(std::uint64_t)>& progress) {
    for (const archive::ManifestLine& line : lines) {
        const UniqueFd fd = OpenBelow(bag, line.path, O_RDONLY);
        const std::optional<std::string> digest =
            fd ? DigestOf(fd.Get(), read, progress) : std::nullopt;
        if (!digest && fd && errno == 0) return false;
        if (!digest && (!fd || errno == ENOENT)) {
            found.missing.push_back(line.path);
        } else if (!digest || *digest != line.digest) {
            found.changed.push_back(line.path);
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> ReadBagText(int dir, const char* name) {
    const UniqueFd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return std::nullopt;
    std::string text;
    char block[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return text;
        text.append(block, static_cast<std::size_t>(n));
    }
}

bool ListFiles(int dir, const std::string& prefix, std::map<std::string, std::uint64_t>& files) {
    const std::unique_ptr<DIR, CheckCloseDir> listing = ListingOf(dir);
    if (!listing) return false;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        if (::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
        const std::string path = prefix + "/" + name;
        if (S_ISDIR(info.st_mode)) {
            const UniqueFd sub(
                ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sub || !ListFiles(sub.Get(), path, files)) return false;
        } else {
            files[path] = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
        }
    }
    return true;
}

std::vector<std::string> NamesIn(int dir) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, CheckCloseDir> listing = ListingOf(dir);
    while (listing) {
        const dirent* entry = ::readdir(listing.get());
        if (!entry) break;
        names.push_back(entry->d_name);
    }
    return names;
}

std::vector<std::string> BagsIn(int target) {
    std::vector<std::string> bags;
    const std::unique_ptr<DIR, CheckCloseDir> listing = ListingOf(target);
    if (!listing) return bags;
    while (const dirent* entry = ::readdir(listing.get())) {
        if (entry->d_name[0] == '.') continue;
        const UniqueFd bag(
            ::openat(target, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (bag && ::fstatat(bag.Get(), "bagit.txt", &info, AT_SYMLINK_NOFOLLOW) == 0) {
            bags.push_back(entry->d_name);
        }
    }
    std::sort(bags.begin(), bags.end());
    return bags;
}

std::optional<archive::BagFindings> CheckBag(
    int target, const std::string& name,
    const std::function<bool(std::uint64_t bytesRead)>& progress) {
    archive::BagFindings found;
    const UniqueFd bag(
        ::openat(target, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!bag) {
        found.unreadable = ErrorText(errno);
        return found;
    }
    const std::optional<std::string> payload = ReadBagText(bag.Get(), kPayloadManifest);
    const auto lines = payload ? archive::ParseManifest(*payload) : std::nullopt;
    if (!ReadBagText(bag.Get(), "bagit.txt") || !lines) {
        found.unreadable = payload ? "manifest-sha256.txt cannot be read" : "not a bag";
        return found;
    }
    std::uint64_t read = 0;
    if (const std::optional<std::string> tags = ReadBagText(bag.Get(), kTagManifest)) {
        const auto tagLines = archive::ParseManifest(*tags);
        if (!tagLines) {
            found.unreadable = "tagmanifest-sha256.txt cannot be read";
            return found;
        }
        if (!CheckLines(bag.Get(), *tagLines, found, read, progress)) return std::nullopt;
    }
    std::set<std::string> listed;
    for (const archive::ManifestLine& line : *lines) listed.insert(line.path);
    if (!CheckLines(bag.Get(), *lines, found, read, progress)) return std::nullopt;

    std::map<std::string, std::uint64_t> files;
    const UniqueFd data(::openat(bag.Get(), archive::kPayloadFolder,
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (data && !ListFiles(data.Get(), archive::kPayloadFolder, files)) {
        found.unreadable = "data/ cannot be listed";
        return found;
    }
    archive::Oxum oxum;
    for (const auto& [path, bytes] : files) {
        if (!listed.contains(path)) found.extra.push_back(path);
        oxum.bytes += bytes;
        ++oxum.files;
    }
    const std::optional<std::string> info = ReadBagText(bag.Get(), "bag-info.txt");
    for (const auto& [label, value] : archive::ParseBagInfo(info.value_or(""))) {
        if (label != "Payload-Oxum") continue;
        const std::optional<archive::Oxum> said = archive::ParseOxum(value);
        found.oxumDiffers = !said || *said != oxum;
    }
    return found;
}

}  // namespace dravolin::lnx

#include "platform/linux/archive/EarlierBag.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <vector>
#include "archive/BagText.h"
#include "platform/linux/archive/BagFolder.h"
#include "platform/linux/archive/BagImage.h"
#include "platform/linux/io/FileLocks.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/store/StoreIo.h"

namespace dravolin::lnx {

namespace {

// A map of a badly scratched disc is some hundred KiB: far above, and still bounded.
constexpr std::size_t kMapCap = std::size_t{64} << 20;
constexpr std::size_t kBagInfoCap = std::size_t{1} << 20;

// `length` bytes at `offset` of `in` to the same offset of `out`: in the kernel where it can.
int CopyRange(int in, int out, off_t offset, off_t length) {
    off_t from = offset, to = offset;
    while (length > 0) {
        const ssize_t done = ::copy_file_range(in, &from, out, &to, static_cast<size_t>(length), 0);
        if (done > 0) {
            length -= done;
            continue;
        }
        if (done == 0) return EIO;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            return errno;
        }
        std::vector<char> block(std::size_t{1} << 20);
        while (length > 0) {
            const ssize_t got = ::pread(
                in, block.data(), static_cast<size_t>(std::min<off_t>(length, block.size())), from);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return got == 0 ? EIO : errno;
            for (ssize_t put = 0; put < got;) {
                const ssize_t wrote =
                    ::pwrite(out, block.data() + put, static_cast<size_t>(got - put), to + put);
                if (wrote < 0 && errno == EINTR) continue;
                if (wrote < 0) return errno;
                put += wrote;
            }
            from += got;
            to += got;
            length -= got;
        }
    }
    return 0;
}

}  // namespace

std::string ReadLine(const std::string& start, const std::string& drive, std::uint64_t gained) {
    return start + ", " + drive + ", " + std::to_string(gained) + " bytes read";
}

std::optional<EarlierBag> OpenEarlierBag(const std::string& path) {
    const std::string image = std::string(archive::kImageFolder) + "/";
    const StoreBytes map = ReadStoreBytes(path + "/" + image + BagImage::kMapName, kMapCap);
    struct stat info {};
    if (map.error != 0 || !map.whole ||
        ::lstat((path + "/" + image + BagImage::kImageName).c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::optional<archive::ParsedMap> parsed = archive::ParseMapText(map.bytes);
    if (!parsed || parsed->map.Extent() != static_cast<std::uint64_t>(info.st_size)) {
        return std::nullopt;
    }
    struct stat files {};
    const std::uint64_t rescued = parsed->map.Bytes(archive::BlockState::Rescued);
    EarlierBag bag{path,    std::move(parsed->map),
                   {},      ::lstat((path + "/" + archive::kFilesFolder).c_str(), &files) == 0,
                   rescued, path.substr(path.rfind('/') + 1)};
    const StoreBytes bagInfo = ReadStoreBytes(path + "/bag-info.txt", kBagInfoCap);
    std::string started, drive;
    for (const auto& [name, value] : archive::ParseBagInfo(bagInfo.bytes)) {
        if (name == archive::kFieldRead) bag.reads.emplace_back(value);
        if (name == "Dravolin-Started") started = value;
        if (name == "Dravolin-Drive") drive = value;
    }
    // A bag from before reads were counted was made by one.
    if (bag.reads.empty()) bag.reads.push_back(ReadLine(started, drive, rescued));
    return bag;
}

std::optional<EarlierBag> AdoptInterruptedRead(const std::string& target, const EarlierBag& earlier,
                                               const TempOwner& self, UniqueFd& lock,
                                               std::string& folder) {
    std::optional<EarlierBag> best;
    const UniqueFd targetFd(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!targetFd) return best;
    for (const std::string& name : GoneWritersBags(targetFd.Get(), self)) {
        const std::string path = target + "/" + name;
        const StoreBytes from = ReadStoreBytes(path + "/" + kReadOnFromName, 4096);
        if (from.error != 0 || from.bytes != earlier.bag) continue;
        UniqueFd held(
            ::open((path + "/" + kBagLockName).c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!held || !HoldWriteLock(held.Get())) continue;
        std::optional<EarlierBag> read = OpenEarlierBag(path);
        if (!read || read->map.Extent() != earlier.map.Extent()) continue;
        const std::uint64_t rescued = read->map.Bytes(archive::BlockState::Rescued);
        if (rescued <= (best ? best->map.Bytes(archive::BlockState::Rescued) : earlier.rescued)) {
            continue;
        }
        best = EarlierBag{path,          std::move(read->map), earlier.reads,
                          earlier.files, earlier.rescued,      earlier.bag};
        best->reads.push_back(
            ReadLine("interrupted", "a read on that did not finish", rescued - earlier.rescued));
        lock = std::move(held);
        folder = name;
    }
    return best;
}

int CopyImageFile(const std::string& from, const std::string& to) {
    const UniqueFd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.Get(), &info) != 0) return errno;
    const UniqueFd out(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out || ::ftruncate(out.Get(), info.st_size) != 0) return errno;
    for (off_t at = 0; at < info.st_size;) {
        const off_t data = ::lseek(in.Get(), at, SEEK_DATA);
        if (data < 0) return errno == ENXIO ? 0 : errno;  // only a hole is left
        off_t hole = ::lseek(in.Get(), data, SEEK_HOLE);
        if (hole < 0) hole = info.st_size;
        if (const int error = CopyRange(in.Get(), out.Get(), data, hole - data)) return error;
        at = hole;
    }
    return 0;
}

bool RetireBag(int targetFd, const std::string& name, const TempOwner& owner,
               std::uint64_t random) {
    int error = 0;
    const BagFolder holder = MakeBagFolder(targetFd, owner, random, error);
    if (!holder.folder) return false;
    if (::renameat(targetFd, name.c_str(), holder.folder.Get(), "retired") != 0) {
        RemoveTree(targetFd, holder.name);
        return false;
    }
    ::fsync(targetFd);
    return RemoveTree(targetFd, holder.name);
}

}  // namespace dravolin::lnx

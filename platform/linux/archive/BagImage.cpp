#include "platform/linux/archive/BagImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include "archive/BagText.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/store/StoreIo.h"

namespace dravolin::lnx {

namespace {

// Kept free while the image is written: should the image fill the target, the map's last save
// and the tag files still fit (a few KiB each; the map of a badly scratched disc, some hundred).
constexpr char kRoomName[] = ".dravolin-room";
constexpr off_t kRoomBytes = off_t{1} << 20;

// 0, or the errno that says the room could not be had. A file system that cannot reserve
// space ahead (EOPNOTSUPP) gives no room and no error.
int KeepRoom(int bag) {
    const UniqueFd fd(
        ::openat(bag, kRoomName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return errno;
    const int error = ::posix_fallocate(fd.Get(), 0, kRoomBytes);
    return error == EOPNOTSUPP || error == EINVAL ? 0 : error;
}

// The SHA-256 of a file of the bag, read back as it stands; empty when it cannot be read.
std::string HashOf(int folder, const std::string& name, std::uint64_t& size) {
    const UniqueFd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return {};
    Sha256 digest;
    std::vector<char> block(1u << 20);
    size = 0;
    for (;;) {
        const ssize_t got = ::read(fd.Get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return {};
        if (got == 0) return digest.Finish();
        digest.Update(block.data(), static_cast<std::size_t>(got));
        size += static_cast<std::uint64_t>(got);
    }
}

}  // namespace

BagImage::BagImage(const ImageRead& how, int bag, std::string bagPath)
    : how_(how), bag_(bag), bagPath_(std::move(bagPath)) {}

BagImage::~BagImage() = default;

std::string BagImage::Path(const char* name) const {
    return bagPath_ + "/" + archive::kImageFolder + "/" + name;
}

// What the map does not hold as read, but for the disc's gaps without data: the image's
// damage, and where the fill goes.
std::vector<archive::ByteRange> BagImage::Unread() const {
    const archive::DiscExtent whole{0, map_->Extent()};
    std::vector<archive::ByteRange> unread;
    for (archive::ByteRange range : archive::UnreadInFile(*map_, {&whole, 1})) {
        for (const archive::ByteRange& gap : gaps_) {
            if (gap.begin <= range.begin && range.begin < gap.end) range.begin = gap.end;
            if (gap.begin < range.end && range.end <= gap.end) range.end = gap.begin;
            if (range.begin < gap.begin && gap.end < range.end) {
                unread.push_back({range.begin, gap.begin});
                range.begin = gap.end;
            }
        }
        if (range.begin < range.end) unread.push_back(range);
    }
    return unread;
}

int BagImage::Read(const std::function<bool(const CopyProgress&)>& progress) {
    if (::mkdirat(bag_, archive::kImageFolder, 0777) != 0) return errno;
    const int room = KeepRoom(bag_);
    if (room != 0) {
        ::unlinkat(bag_, kRoomName, 0);
        return room;
    }
    archive::RescueHooks hooks;
    CopyProgress shown;
    hooks.progress = [&](const archive::RescueMap& map, const archive::MapProgress&) {
        shown.bytesTotal = map.Extent();
        shown.bytesDone =
            map.Bytes(archive::BlockState::Rescued) + map.Bytes(archive::BlockState::Bad);
    };
    hooks.stop = [&] {
        stopped_ = stopped_ || !progress(shown);
        return stopped_;
    };
    const archive::RescueMap* earlier = nullptr;
    if (how_.earlier) {
        // Should the read on not finish, the next one finds what it got by this.
        const std::string& bag = how_.earlier->bag;
        const UniqueFd marker(::openat(bag_, kReadOnFromName,
                                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        const ssize_t wrote = marker ? ::write(marker.Get(), bag.data(), bag.size()) : -1;
        if (wrote != static_cast<ssize_t>(bag.size()) || ::fdatasync(marker.Get()) != 0) {
            const int error = wrote < 0 ? errno : EIO;
            ::unlinkat(bag_, kRoomName, 0);
            return error;
        }
        const std::string from =
            how_.earlier->path + "/" + archive::kImageFolder + "/" + kImageName;
        if (const int error = CopyImageFile(from, Path(kImageName))) {
            ::unlinkat(bag_, kRoomName, 0);
            return error;
        }
        earlier = &how_.earlier->map;
    }
    DriveImageResult read = how_.read(Path(kImageName), Path(kMapName), hooks, earlier);
    ::unlinkat(bag_, kRoomName, 0);
    map_ = std::move(read.map);
    gaps_ = std::move(read.gaps);
    readOn_ = read.readOn;
    if (map_) {
        gained_ = map_->Bytes(archive::BlockState::Rescued) - (readOn_ ? how_.earlier->rescued : 0);
    }
    // The map saved last may lag behind the image: saved again, it says all the image holds.
    if (IsTargetFull(read.error) && map_ &&
        WriteAtomically(Path(kMapName), read.mapText, kSharedFileMode) == 0) {
        targetFull_ = true;
        return 0;
    }
    if (read.error != 0) return read.error;
    return map_ ? 0 : EIO;
}

std::vector<std::string> BagImage::Reads() const {
    std::vector<std::string> reads;
    if (readOn_) reads = how_.earlier->reads;
    reads.push_back(ReadLine(how_.readBy.start, how_.readBy.drive, gained_));
    return reads;
}

std::string BagImage::Open(std::uint64_t seed, std::string& why) {
    unopened_ = true;
    const std::string name = std::string(archive::kImageFolder) + "/" + kImageName;
    image_.Reset(::open(Path(kImageName).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (!image_) {
        why = "cannot open " + name + ": " + ErrorText(errno);
        return {};
    }
    if (how_.mount) {
        fill_.emplace(image_.Get(), Unread(), seed);
        if (const int error = fill_->Write()) {
            why = "cannot write " + name + ": " + ErrorText(error);
            return {};
        }
        mount_.emplace(how_.mount(image_.Get()));
        if (mount_->ok()) {
            unopened_ = false;
            return mount_->Folder();
        }
        why = "cannot mount it: " + mount_->Error();
        mount_.reset();
        // The library reads the image as it is to stay, and the files' damage comes from the
        // map.
        if (const int error = fill_->Clear()) {
            why += "; cannot write " + name + ": " + ErrorText(error);
            return {};
        }
        fill_.reset();
    }
    if (how_.tree) tree_ = how_.tree(Path(kImageName));
    if (!tree_) {
        why += why.empty() ? "cannot read its file system" : ", nor read its file system";
        return {};
    }
    why = why.empty() ? "by the library of the image's file system, at the disc's last session, "
                        "which a loop device does not show"
                      : "by the library of the image's file system, as the kernel here could not "
                        "mount it: " +
                            why;
    unopened_ = false;
    return {};
}

int BagImage::Close(std::vector<archive::ArchivedFile>& files) {
    mount_.reset();
    if (how_.keep == archive::BagKeeps::Files && !targetFull_ && !unopened_) {
        fill_.reset();
        image_.Reset();
        for (const char* name : {kImageName, kMapName}) {
            const std::string path = std::string(archive::kImageFolder) + "/" + name;
            if (::unlinkat(bag_, path.c_str(), 0) != 0 && errno != ENOENT) return errno;
        }
        return ::unlinkat(bag_, archive::kImageFolder, AT_REMOVEDIR) == 0 ? 0 : errno;
    }
    if (fill_) {
        if (const int error = fill_->Clear()) return error;
        if (::fsync(image_.Get()) != 0) return errno;
    }
    std::vector<archive::ArchivedFile> own;
    for (const char* name : {kImageName, kMapName}) {
        archive::ArchivedFile file;
        file.path = name;
        file.folder = archive::kImageFolder;
        file.sha256 = HashOf(bag_, std::string(archive::kImageFolder) + "/" + name, file.size);
        if (file.sha256.empty()) return errno != 0 ? errno : EIO;
        own.push_back(std::move(file));
    }
    own[0].damaged = Unread();
    const UniqueFd folder(
        ::openat(bag_, archive::kImageFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder || ::fsync(folder.Get()) != 0) return errno;
    files.insert(files.begin(), own.begin(), own.end());
    return 0;
}

}  // namespace dravolin::lnx

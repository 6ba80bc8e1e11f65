#include "platform/linux/archive/DriveImage.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include "archive/Recovery.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/drives/KernelToc.h"
#include "platform/linux/drives/VolumeReader.h"
#include "platform/linux/store/StoreIo.h"

namespace dravolin::lnx {

namespace {

constexpr std::size_t kDirectAlignment = 4096;
constexpr std::size_t kRequestBytes = archive::kRescueRequestSectors * archive::kSector;
constexpr int kRequestsBetweenSaves = 512;  // 32 MiB, seconds of a CD drive's reading

}  // namespace

std::unique_ptr<DiscSectors> DiscSectors::Open(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    // Reads wait for the drive: O_NONBLOCK only let a drive without a disc open.
    if (flags < 0 || ::fcntl(fd, F_SETFL, (flags | O_DIRECT) & ~O_NONBLOCK) != 0) return nullptr;
    return OpenFile(fd);
}

std::unique_ptr<DiscSectors> DiscSectors::OpenFile(int fd) {
    void* buffer = nullptr;
    if (::posix_memalign(&buffer, kDirectAlignment, kRequestBytes) != 0) return nullptr;
    return std::unique_ptr<DiscSectors>(new DiscSectors(fd, static_cast<std::byte*>(buffer)));
}

void DiscSectors::FreeBuffer::operator()(std::byte* bytes) const {
    std::free(bytes);
}

bool DiscSectors::Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) {
    const std::size_t length = std::size_t{count} * archive::kSector;
    if (length > kRequestBytes || out.size() < length) return false;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, buffer_.get() + done, length - done,
                                  static_cast<off_t>(sector * archive::kSector + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // an error, or the end of the disc before `count` sectors
        done += static_cast<std::size_t>(n);
    }
    std::copy(buffer_.get(), buffer_.get() + length, out.begin());
    return true;
}

bool ImageFile::Write(std::uint64_t offset, std::span<const std::byte> bytes) {
    CopyIo io;
    error_ = WriteAll(io, fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    return error_ == 0;
}

bool FilesFromDiscAsked() {
    const char* read = std::getenv("DRAVOLIN_ARCHIVE_READ");
    return read && std::string_view(read) == "files";
}

ImageUse ImageUseOf(CdromIo& io, const std::string& deviceNode, archive::BagKeeps keep,
                    const std::function<bool(std::uint64_t bytes)>& room, bool sessionsRead,
                    std::uint64_t* sessionOffset) {
    const UniqueFd fd = io.Open(deviceNode);
    if (!fd) return ImageUse::None;
    const std::uint64_t session = LastSessionOffset(io, fd.Get());
    if (sessionOffset) *sessionOffset = session;
    if (!ReadVolumeIdentity(fd.Get(), session)) return ImageUse::None;
    if (keep == archive::BagKeeps::Image) return ImageUse::ImageOnly;
    if (session != 0 && !sessionsRead && keep == archive::BagKeeps::Files) return ImageUse::None;
    const std::optional<std::uint64_t> sectors = ImageSectors(io, fd.Get());
    if (!sectors) return ImageUse::None;
    if (!room(2 * *sectors * archive::kSector)) {
        return keep == archive::BagKeeps::Both ? ImageUse::NoRoom : ImageUse::None;
    }
    if (session == 0) return ImageUse::FilesFromImage;
    return sessionsRead ? ImageUse::FilesFromLastSession : ImageUse::ImageBeside;
}

std::optional<std::uint64_t> ImageSectors(CdromIo& io, int fd) {
    cdrom_tocentry leadOut{};
    leadOut.cdte_track = CDROM_LEADOUT;
    leadOut.cdte_format = CDROM_LBA;
    if (io.Ioctl(fd, CDROMREADTOCENTRY, reinterpret_cast<std::uintptr_t>(&leadOut)) != 0 ||
        leadOut.cdte_addr.lba <= 0) {
        return std::nullopt;
    }
    const auto sectors = static_cast<std::uint64_t>(leadOut.cdte_addr.lba);
    FdDiscBytes disc(fd);
    const std::optional<std::uint64_t> volume = ReadVolumeSectors(disc, LastSessionOffset(io, fd));
    return volume && *volume > 0 && *volume < sectors ? *volume : sectors;
}

std::vector<archive::ByteRange> DataGaps(CdromIo& io, int fd) {
    const std::optional<archive::DiscToc> toc = ReadKernelToc(io, fd);
    if (!toc) return {};
    struct Track {
        std::uint64_t start;  // in sectors
        bool data;
    };
    std::vector<Track> tracks;
    for (const archive::TocTrack& track : toc->tracks) {
        tracks.push_back({track.start, !track.audio});
    }
    tracks.push_back({toc->leadOut, false});
    std::sort(tracks.begin(), tracks.end(),
              [](const Track& a, const Track& b) { return a.start < b.start; });
    std::vector<archive::ByteRange> gaps;
    const auto add = [&](std::uint64_t begin, std::uint64_t end) {
        if (!gaps.empty() && gaps.back().end == begin * archive::kSector) {
            gaps.back().end = end * archive::kSector;
        } else {
            gaps.push_back({begin * archive::kSector, end * archive::kSector});
        }
    };
    FdDiscBytes disc(fd);
    for (std::size_t at = 0; at + 1 < tracks.size(); ++at) {
        const std::uint64_t start = tracks[at].start, next = tracks[at + 1].start;
        if (!tracks[at].data) {
            if (start < next) add(start, next);
            continue;
        }
        const std::optional<std::uint64_t> end = ReadVolumeSectors(disc, start * archive::kSector);
        if (end && *end > start && *end < next) add(*end, next);
    }
    return gaps;
}

DriveImageResult ImageDrive(CdromIo& io, const std::string& deviceNode,
                            const std::string& imagePath, const std::string& mapPath,
                            const archive::RescueHooks& hooks, const archive::RescueMap* earlier) {
    DriveImageResult result;
    const UniqueFd drive = io.Open(deviceNode);
    if (!drive) {
        result.error = errno;
        return result;
    }
    const std::optional<std::uint64_t> sectors = ImageSectors(io, drive.Get());
    // Read before the switch to O_DIRECT, which the volume's small reads would not meet.
    std::vector<archive::ByteRange> gaps = DataGaps(io, drive.Get());
    const std::unique_ptr<DiscSectors> source = DiscSectors::Open(drive.Get());
    if (!sectors || !source) {
        result.error = sectors ? errno : EIO;
        return result;
    }
    return ReadIntoImage(*source, *sectors, std::move(gaps), deviceNode, imagePath, mapPath, hooks,
                         earlier);
}

DriveImageResult ImageFileImage(const std::string& sourcePath, const std::string& imagePath,
                                const std::string& mapPath, const archive::RescueHooks& hooks,
                                const archive::RescueMap* earlier) {
    DriveImageResult result;
    const UniqueFd file(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.Get(), &info) != 0) {
        result.error = errno;
        return result;
    }
    const std::unique_ptr<DiscSectors> source = DiscSectors::OpenFile(file.Get());
    const auto sectors = static_cast<std::uint64_t>(info.st_size) / archive::kSector;
    if (!source || sectors == 0) {
        result.error = source ? EIO : ENOMEM;
        return result;
    }
    return ReadIntoImage(*source, sectors, {}, sourcePath, imagePath, mapPath, hooks, earlier);
}

DriveImageResult ReadIntoImage(archive::SectorSource& source, std::uint64_t sectors,
                               std::vector<archive::ByteRange> gaps, const std::string& sourceName,
                               const std::string& imagePath, const std::string& mapPath,
                               const archive::RescueHooks& hooks,
                               const archive::RescueMap* earlier) {
    DriveImageResult result;
    result.gaps = std::move(gaps);
    result.readOn = earlier && earlier->Extent() == sectors * archive::kSector;
    const UniqueFd image(
        ::open(imagePath.c_str(),
               O_WRONLY | O_CREAT | (result.readOn ? 0 : O_TRUNC) | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!image || ::ftruncate(image.Get(), static_cast<off_t>(sectors * archive::kSector)) != 0) {
        result.error = errno;
        return result;
    }
    std::string heading = "# Mapfile. Created by Dravolin\n# Source: " + sourceName + "\n";
    // ddrescue would try these again; whoever reads the map learns why they are untried.
    for (const archive::ByteRange& gap : result.gaps) {
        heading += "# No data here (audio, between sessions): " + archive::MapHex(gap.begin) +
                   "  " + archive::MapHex(gap.end - gap.begin) + "\n";
    }
    if (result.readOn) heading += "# Carried on from the map of an earlier read\n";
    archive::RescueMap& map = result.readOn ? result.map.emplace(archive::ForAnotherRead(*earlier))
                                            : result.map.emplace(sectors * archive::kSector);
    int sinceSave = 0;
    archive::MapProgress saved;
    auto save = [&](const archive::RescueMap& now, const archive::MapProgress& progress) {
        sinceSave = 0;
        saved = progress;
        result.mapText = archive::MapText(now, progress, heading);
        // A map must never say more than the image holds after a power cut: another read may
        // carry on from it.
        if (::fsync(image.Get()) != 0 && result.error == 0) result.error = errno;
        if (const int error = WriteAtomically(mapPath, result.mapText, kSharedFileMode)) {
            if (result.error == 0) result.error = error;
        }
    };
    archive::RescueHooks saving;
    saving.stop = [&] { return result.error != 0 || (hooks.stop && hooks.stop()); };
    saving.progress = [&](const archive::RescueMap& now, const archive::MapProgress& progress) {
        if (++sinceSave >= kRequestsBetweenSaves || progress.phase != saved.phase ||
            progress.pass != saved.pass) {
            save(now, progress);
        }
        if (hooks.progress) hooks.progress(now, progress);
    };
    save(map, saved);
    ImageFile sink(image.Get());
    result.rescue = archive::RescueRead(map, source, sink, saving, result.gaps);
    if (::fsync(image.Get()) != 0 && result.error == 0) result.error = errno;
    save(map, result.rescue.progress);
    if (sink.Error() != 0) result.error = sink.Error();
    return result;
}

}  // namespace dravolin::lnx

// The Linux archiver's discs with audio tracks: a drive's, and a disc image's that libcdio's
// image drivers read.
#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include "archive/AudioDisc.h"
#include "platform/linux/archive/DriveImage.h"
#include "platform/linux/archive/LinuxArchiver.h"
#include "platform/linux/audio/CdioBytes.h"
#include "platform/linux/drives/KernelToc.h"
#include "platform/linux/order/ImageTree.h"

namespace dravolin::lnx {

namespace {

// Where a disc image's data lies: the last data track (an Enhanced CD's second session, or a
// mixed-mode disc's only, first, track), from its start to the end of its ISO 9660 volume, which
// counts from the disc's start; to the track's end where it has none.
struct DataExtent {
    std::uint64_t start = 0;  // sectors
    std::uint64_t end = 0;
};

std::optional<DataExtent> DataExtentOf(CdioDisc& disc, const archive::DiscToc& toc) {
    const auto data = std::find_if(toc.tracks.rbegin(), toc.tracks.rend(),
                                   [](const archive::TocTrack& track) { return !track.audio; });
    if (data == toc.tracks.rend()) return std::nullopt;
    DataExtent extent{data->start, std::uint64_t{data->start} + data->length};
    CdioBytes bytes(disc);
    const std::optional<std::uint64_t> volume =
        ReadVolumeSectors(bytes, extent.start * archive::kSector);
    if (volume && *volume > extent.start && *volume < extent.end) extent.end = *volume;
    return extent;
}

}  // namespace

// Worker thread.
std::optional<AudioRead> LinuxArchiver::AudioOf(const OpticalDrive& drive) const {
    if (!parts_.cdrom) return std::nullopt;
    {
        // The kernel's table first: a data disc, the most common, is never opened by libcdio.
        const UniqueFd fd = parts_.cdrom->Open(drive.deviceNode);
        const std::optional<archive::DiscToc> kernel =
            fd ? ReadKernelToc(*parts_.cdrom, fd.Get()) : std::nullopt;
        if (!kernel || archive::KindOf(*kernel) == archive::DiscKind::Data) return std::nullopt;
    }
    AudioRead audio;
    audio.disc = CdioDisc::Open(drive.deviceNode);
    std::optional<archive::DiscToc> toc = audio.disc ? audio.disc->ReadToc() : std::nullopt;
    if (!toc || archive::KindOf(*toc) == archive::DiscKind::Data) return std::nullopt;
    audio.toc = std::move(*toc);
    audio.discId = MusicBrainzDiscId(audio.toc);
    return audio;
}

// Worker thread.
Archiver::BagOutcome LinuxArchiver::BagCdImage(const Bag& bag, const std::string& target,
                                               const std::string& path, const BagFields& fields,
                                               CopyPrompts& prompts) {
    AudioRead audio;
    audio.disc = CdioDisc::Open(path);
    std::optional<archive::DiscToc> toc = audio.disc ? audio.disc->ReadToc() : std::nullopt;
    if (!toc) {
        TellFailure(CopyFailure{path, EIO, "Cannot read the table of contents of " + path});
        prompts.OnFinished(CopyOutcome::Failed, {});
        return BagOutcome{};
    }
    audio.toc = std::move(*toc);
    audio.discId = MusicBrainzDiscId(audio.toc);
    const archive::DiscKind kind = archive::KindOf(audio.toc);
    const AudioRead* tracks = kind == archive::DiscKind::Data ? nullptr : &audio;
    const std::optional<DataExtent> data = DataExtentOf(*audio.disc, audio.toc);
    if (!data) return BagFiles(bag, target, {}, fields, prompts, nullptr, tracks);

    ImageRead image{[&](const std::string& imagePath, const std::string& mapPath,
                        const archive::RescueHooks& hooks, const archive::RescueMap* earlier) {
                        CdioSectors source(*audio.disc);
                        std::vector<archive::ByteRange> gaps;
                        if (data->start > 0) gaps.push_back({0, data->start * archive::kSector});
                        return ReadIntoImage(source, data->end, std::move(gaps), path, imagePath,
                                             mapPath, hooks, earlier);
                    },
                    nullptr, bag.keep};
    if (bag.keep != archive::BagKeeps::Image) {
        const std::uint64_t session = data->start;
        // A loop device would show a first session that is audio: the library reads the data.
        if (session == 0) {
            image.mount = [](int fd) { return ImageMount::Mount(fd, ImageMount::Options{}); };
        }
        image.tree = [session](const std::string& imagePath) {
            return ReadImageTree(imagePath, session * archive::kSector);
        };
    }
    return BagFiles(bag, target, {}, fields, prompts, &image, tracks);
}

}  // namespace dravolin::lnx

#include "platform/linux/drives/KernelToc.h"

#include <climits>  // linux/cdrom.h uses INT_MAX without including it
#include <linux/cdrom.h>
#include <utility>
#include "platform/linux/io/Sha256.h"

namespace dravolin::lnx {

std::optional<archive::DiscToc> ReadKernelToc(CdromIo& io, int fd) {
    cdrom_tochdr header{};
    if (io.Ioctl(fd, CDROMREADTOCHDR, reinterpret_cast<std::uintptr_t>(&header)) != 0 ||
        header.cdth_trk1 < header.cdth_trk0) {
        return std::nullopt;
    }
    archive::DiscToc toc;
    for (int number = header.cdth_trk0; number <= header.cdth_trk1 + 1; ++number) {
        const bool leadOut = number > header.cdth_trk1;
        cdrom_tocentry entry{};
        entry.cdte_track = leadOut ? CDROM_LEADOUT : static_cast<std::uint8_t>(number);
        entry.cdte_format = CDROM_LBA;
        if (io.Ioctl(fd, CDROMREADTOCENTRY, reinterpret_cast<std::uintptr_t>(&entry)) != 0 ||
            entry.cdte_addr.lba < 0) {
            return std::nullopt;
        }
        const auto start = static_cast<std::uint32_t>(entry.cdte_addr.lba);
        if (leadOut) {
            toc.leadOut = start;
            break;
        }
        archive::TocTrack track;
        track.number = number;
        track.start = start;
        track.audio = (entry.cdte_ctrl & CDROM_DATA_TRACK) == 0;
        toc.tracks.push_back(std::move(track));
    }
    for (std::size_t at = 0; at < toc.tracks.size(); ++at) {
        const std::uint32_t start = toc.tracks[at].start;
        const std::uint32_t end =
            at + 1 < toc.tracks.size() ? toc.tracks[at + 1].start : toc.leadOut;
        // A table out of order is the drive's error; a length that wrapped round would send a
        // reader past the disc's end.
        toc.tracks[at].length = end > start ? end - start : 0;
    }
    return toc;
}

std::optional<AudioIdentity> AudioIdentityOf(const archive::DiscToc& toc) {
    if (archive::KindOf(toc) != archive::DiscKind::Audio) return std::nullopt;
    std::string digest = Sha256Of(archive::TocIdentityText(toc));
    const std::uint32_t serial = archive::FingerprintOfIdentity(digest);
    return AudioIdentity{serial, std::move(digest)};
}

}  // namespace dravolin::lnx

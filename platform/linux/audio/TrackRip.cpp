#include "platform/linux/audio/TrackRip.h"

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <span>
#include "platform/linux/audio/CdText.h"
#include "platform/linux/audio/FlacFile.h"
#include "platform/linux/audio/RipDamage.h"

namespace dravolin::lnx {

namespace {

// The drive object wraps the disc's libcdio handle, which stays the CdioDisc's.
struct TrackRipCloseDrive {
    void operator()(cdrom_drive_t* drive) const { cdio_cddap_close_no_free_cdio(drive); }
};
struct TrackRipFreeParanoia {
    void operator()(cdrom_paranoia_t* paranoia) const { cdio_paranoia_free(paranoia); }
};

// Paranoia's callback carries nothing of the caller's: the track being read on this thread (a
// thread per drive reads at once) is found here.
struct TrackRipDamage {
    std::uint32_t start = 0;
    std::uint32_t sectors = 0;
    std::vector<archive::SampleRange> ranges;
};
thread_local TrackRipDamage* tTrackRipDamage = nullptr;

class TrackRipDamageScope {
  public:
    explicit TrackRipDamageScope(TrackRipDamage& damage)
        : previous_(std::exchange(tTrackRipDamage, &damage)) {}
    ~TrackRipDamageScope() { tTrackRipDamage = previous_; }
    TrackRipDamageScope(const TrackRipDamageScope&) = delete;
    TrackRipDamageScope& operator=(const TrackRipDamageScope&) = delete;

  private:
    TrackRipDamage* previous_;
};

void TrackRipOnEvent(long position, paranoia_cb_mode_t event) {
    TrackRipDamage* damage = tTrackRipDamage;
    if (damage == nullptr) return;
    if (const auto range = DamageOfParanoiaEvent(position, event, damage->start, damage->sectors)) {
        AddDamage(damage->ranges, *range);
    }
}

FlacTags TrackRipTags(CdioDisc& disc, const archive::TocTrack& track) {
    FlacTags tags;
    if (!track.title.empty()) tags.emplace_back("TITLE", track.title);
    const std::string performer =
        !track.performer.empty() ? track.performer : CdTextOf(disc, CdTextField::Performer, 0);
    if (!performer.empty()) tags.emplace_back("ARTIST", performer);
    if (const std::string album = CdTextOf(disc, CdTextField::Title, 0); !album.empty()) {
        tags.emplace_back("ALBUM", album);
    }
    tags.emplace_back("TRACKNUMBER", std::to_string(track.number));
    if (!track.isrc.empty()) tags.emplace_back("ISRC", track.isrc);
    return tags;
}

}  // namespace

TrackRipResult RipTrack(CdioDisc& disc, const archive::TocTrack& track, int fd,
                        const RipHooks& hooks) {
    TrackRipResult result;
    if (!track.audio) {
        result.error = EINVAL;
        return result;
    }
    const std::unique_ptr<cdrom_drive_t, TrackRipCloseDrive> drive(
        cdio_cddap_identify_cdio(disc.Get(), CDDA_MESSAGE_FORGETIT, nullptr));
    if (!drive) {
        result.error = ENODEV;
        return result;
    }
    // Left unknown, the byte order would be guessed on opening, from the loudness of a few
    // sectors of each track read both ways: quiet or noisy audio can fool it into swapping a
    // whole disc. A drive returns audio as the disc holds it, little-endian (an old model that
    // does not is known to paranoia by name and set on opening), and so does a BIN of a cue
    // sheet; cdrdao's raw audio files are big-endian, and libcdio passes them on unswapped.
    drive->bigendianp = cdio_get_driver_id(disc.Get()) == DRIVER_CDRDAO ? 1 : 0;
    if (cdio_cddap_open(drive.get()) != 0) {
        result.error = ENODEV;
        return result;
    }
    const std::unique_ptr<cdrom_paranoia_t, TrackRipFreeParanoia> paranoia(
        cdio_paranoia_init(drive.get()));
    if (!paranoia) {
        result.error = ENODEV;
        return result;
    }
    // Every check and re-read, but a sector whose re-reads never match is given up on after
    // kRipRetries rather than read for ever.
    cdio_paranoia_modeset(paranoia.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);

    std::uint32_t sectors = track.length;
    // A drive that reports sessions ends an Enhanced CD's last audio track with the first
    // session, where the table runs it on to the data track: the lead-out and lead-in between
    // hold no audio, and reading them would only skip sector after sector.
    const lsn_t last = cdio_cddap_track_lastsector(drive.get(), static_cast<track_t>(track.number));
    if (last >= static_cast<lsn_t>(track.start)) {
        sectors =
            std::min<std::uint32_t>(sectors, static_cast<std::uint32_t>(last) + 1 - track.start);
    }
    if (cdio_paranoia_seek(paranoia.get(), static_cast<int32_t>(track.start), SEEK_SET) < 0) {
        result.error = ENODEV;
        return result;
    }

    FlacFile flac(fd, std::uint64_t{sectors} * archive::kSamplesPerSector,
                  TrackRipTags(disc, track));
    if (!flac.Started()) {
        result.error = flac.Error();
        return result;
    }
    TrackRipDamage damage{track.start, sectors, {}};
    {
        const TrackRipDamageScope scope(damage);
        for (std::uint32_t done = 0; done < sectors; ++done) {
            if (hooks.stop && hooks.stop()) {
                result.stopped = true;
                break;
            }
            errno = 0;
            const std::int16_t* samples =
                cdio_paranoia_read_limited(paranoia.get(), TrackRipOnEvent, kRipRetries);
            if (samples == nullptr) {
                // The disc was taken out, or the drive closed under the read.
                result.error = errno != 0 ? errno : EIO;
                break;
            }
            if (!flac.Write(std::span(samples, CD_FRAMEWORDS))) {
                result.error = flac.Error();
                break;
            }
            result.samples += archive::kSamplesPerSector;
            if (hooks.progress) hooks.progress(done + 1);
        }
    }
    // What was written stays a whole FLAC file, however the read ended.
    if (!flac.Finish() && result.error == 0) result.error = flac.Error();
    if (result.error == 0) result.md5 = flac.Md5();
    if (::fsync(fd) != 0 && result.error == 0) result.error = errno;
    KeepDamageBefore(damage.ranges, result.samples);
    result.damaged = std::move(damage.ranges);
    return result;
}

}  // namespace dravolin::lnx

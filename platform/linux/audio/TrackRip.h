#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "archive/AudioDisc.h"
#include "platform/linux/audio/CdioDisc.h"

namespace dravolin::lnx {

// One audio track read with libcdio-paranoia (verified reads, overlaps compared, a bounded
// number of re-reads of what does not match) and written as FLAC through libFLAC.

struct RipHooks {
    // Asked between reads: true ends the track there (the disc's time budget, a person).
    std::function<bool()> stop;
    // After each sector, with the sectors of the track done so far.
    std::function<void(std::uint32_t sectorsDone)> progress;
};

// How many times paranoia reads a sector again that does not match before it gives up on it.
inline constexpr int kRipRetries = 20;

struct TrackRipResult {
    // errno where the FLAC file could not be written (ENOSPC: the target is full) or libFLAC
    // failed (EIO); where paranoia could not start on the disc, ENODEV; for a data track,
    // EINVAL. 0 else.
    int error = 0;
    bool stopped = false;       // `stop` ended it: the file holds the samples before that point
    std::uint64_t samples = 0;  // written, per channel
    // What paranoia could not read exactly after its re-reads (it skipped, or a read failed
    // and it was filled), in samples of the track, in order, adjacent ones joined.
    std::vector<archive::SampleRange> damaged;
    std::string md5;  // libFLAC's MD5 of the samples (STREAMINFO), lowercase hex
};

// Reads `track` of `disc` (from its index 1, `track.length` sectors, or to the end of its
// session where the drive reports that earlier: an Enhanced CD's last audio track) into a FLAC
// file written through `fd` (opened for writing and seeking, empty), 16-bit stereo at 44.1 kHz,
// the highest compression level that stays fast (5), with the track's ISRC and CD-TEXT as Vorbis
// comments. Samples paranoia could not read are written as it returns them and listed in
// `damaged`. The file is flushed to the disk before the call returns.
TrackRipResult RipTrack(CdioDisc& disc, const archive::TocTrack& track, int fd,
                        const RipHooks& hooks);

}  // namespace dravolin::lnx

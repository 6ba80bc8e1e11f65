#pragma once
// Disc images that libcdio's image drivers read as discs, written at test time from generated
// audio: a cue sheet or a cdrdao TOC file over one file of raw 2352-byte sectors.
#include <cstdint>
#include <string>
#include <vector>
#include "archive/AudioDisc.h"

namespace dravolin::lnx::test {

enum class ImageDisc {
    AudioCue,    // three audio tracks: a pre-gap, a catalogue number, an ISRC, flags, CD-TEXT
    AudioToc,    // the same disc as a cdrdao TOC file, its raw audio big-endian as cdrdao's is
    MixedMode,   // an ISO 9660 data track, then two audio tracks (the first after a pre-gap)
    EnhancedCd,  // two audio tracks, then a data track where a second session's would start
};

const char* ImageDiscName(ImageDisc disc);

// What a track's sectors hold from its index 1 to the next track's (or the lead-out).
struct ImageTrackAudio {
    std::vector<std::int16_t> samples;  // interleaved left and right
    std::uint32_t silentSectors = 0;    // then this much silence
};

struct DiscImage {
    std::string path;                    // the .cue or .toc file; empty where it was not made
    archive::DiscToc toc;                // what the image's driver reports
    std::vector<ImageTrackAudio> audio;  // per track of `toc`; nothing for a data track
    std::string iso;                     // the data track's ISO 9660 volume, its bytes
};

// Writes `disc` into `folder`. A data track's volume is made by genisoimage.
DiscImage WriteDiscImage(ImageDisc disc, const std::string& folder);

}  // namespace dravolin::lnx::test

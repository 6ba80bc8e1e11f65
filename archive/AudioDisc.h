#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "archive/BagRecord.h"

namespace dravolin::archive {

// A disc's table of contents as the drive (or a disc image's driver) reports it, and what an
// archive makes of its audio tracks: one FLAC file per track under data/audio/, a cue sheet for
// the whole disc, the table itself as text, and the MusicBrainz disc ID.

inline constexpr char kAudioFolder[] = "data/audio";
inline constexpr char kCueSheetName[] = "disc.cue";
inline constexpr char kTocName[] = "toc.txt";

// Red Book audio: 2352 bytes a sector, 588 stereo samples of 16 bits, 75 sectors a second.
inline constexpr std::uint32_t kAudioSectorBytes = 2352;
inline constexpr std::uint32_t kSamplesPerSector = 588;
inline constexpr std::uint32_t kSectorsPerSecond = 75;
inline constexpr std::uint32_t kSampleRate = 44100;
// The sectors a disc's first track address 0 is preceded by (00:02:00), which MSF times and
// disc IDs count.
inline constexpr std::uint32_t kLeadInSectors = 150;
// What separates an Enhanced CD's audio session from its data session: the first session's
// lead-out (6750 sectors), the second's lead-in (4500) and its first pre-gap (150).
inline constexpr std::uint32_t kSessionGapSectors = 11400;

struct TocTrack {
    int number = 0;
    std::uint32_t start = 0;   // LBA of its index 1
    std::uint32_t length = 0;  // sectors, to the next track's index 1 or the lead-out
    bool audio = true;
    std::uint32_t pregap = 0;  // sectors of index 0 before `start`, where the drive tells it
    bool preEmphasis = false;
    bool copyPermitted = false;
    bool fourChannel = false;
    std::string isrc;  // empty when the disc carries none
    // CD-TEXT, UTF-8; empty when absent.
    std::string title;
    std::string performer;
};

struct DiscToc {
    std::vector<TocTrack> tracks;  // in track order
    std::uint32_t leadOut = 0;     // LBA of the lead-out
    std::string mcn;               // the catalogue number (13 digits); empty when none
    std::string title;             // CD-TEXT of the album, UTF-8
    std::string performer;
};

enum class DiscKind {
    Data,   // no audio track: a data disc as before
    Audio,  // audio tracks alone
    Mixed,  // audio and data: a mixed-mode disc (data first) or an Enhanced CD (data last)
};
DiscKind KindOf(const DiscToc& toc);

// What names an audio disc for the same-disc rule, from what every reader of its table gets
// alike (the kernel's ioctls, libcdio's drivers): each track's number, start and kind, and the
// lead-out. Its SHA-256 is the disc's identity; CD-TEXT and codes are left out, since not every
// reader gets them.
std::string TocIdentityText(const DiscToc& toc);
// The 32-bit fingerprint that names an audio disc's bags, from its identity (lowercase hex):
// never 0 and never 0xFFFFFFFF, like a data disc's.
std::uint32_t FingerprintOfIdentity(std::string_view identity);

// The sectors of track `index` that hold its audio: its length, but for the audio track before
// an Enhanced CD's data session, which ends where that session's gap begins (the data track's
// pre-gap where the table tells it, else the Blue Book's 11400 sectors). What RipTrack reads.
std::uint32_t AudioSectors(const DiscToc& toc, std::size_t index);

// The sectors of the audio tracks: where an image of the disc's data holds nothing.
std::vector<ByteRange> AudioRanges(const DiscToc& toc);  // in bytes of 2048-byte sectors

// "track01.flac": the file of an audio track under kAudioFolder.
std::string TrackFileName(int number);

// The table as text, one line per track and one for the lead-out, with the catalogue number and
// ISRCs: what the identity of an audio disc is the SHA-256 of, and the bag's toc.txt.
std::string TocText(const DiscToc& toc);

// The arguments of a MusicBrainz disc ID: the first and last audio track of the first session
// and the offsets (in sectors, the 150 of the lead-in counted) of the lead-out and each of those
// tracks. An Enhanced CD's data track is left out, and its audio session ends 11400 sectors
// before it; a mixed-mode disc's first (data) track is left out too.
struct DiscIdInput {
    int first = 0;
    int last = 0;
    std::vector<int> offsets;  // [0]: the lead-out; [n]: track `first - 1 + n`
};
DiscIdInput DiscIdInputOf(const DiscToc& toc);

// The cue sheet of the disc's audio: one FILE per track, each holding the track from its index
// 1 to the next track's index 1 (a pre-gap sits at the end of the track before it, as its INDEX
// 00), with CD-TEXT, the catalogue number, ISRCs and flags. Data tracks are named in REM lines.
// `discId` goes into a REM line when not empty.
std::string CueSheet(const DiscToc& toc, std::string_view discId);

// A span of one track's samples (stereo frames of 1/44100 s), the end excluded.
struct SampleRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool operator==(const SampleRange&) const = default;
};
// "m:ss.mmm", of a sample within a track.
std::string TrackTime(std::uint64_t sample);

}  // namespace dravolin::archive

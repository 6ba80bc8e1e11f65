#include "archive/AudioDisc.h"

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include "archive/Recovery.h"

namespace dravolin::archive {

namespace {

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// "mm:ss:ff", minutes, seconds and frames (sectors) of a cue sheet.
std::string CueTime(std::uint32_t sectors) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", sectors / (60 * kSectorsPerSecond),
                  sectors / kSectorsPerSecond % 60, sectors % kSectorsPerSecond);
    return text;
}

// A cue sheet's quoted text: it has no escapes, so a quote becomes an apostrophe and a line
// break a blank rather than ending the field.
std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? '\'' : c == '\n' || c == '\r' ? ' ' : c;
    }
    return quoted + "\"";
}

std::string Flags(const TocTrack& track) {
    std::string flags;
    if (track.copyPermitted) flags += " DCP";
    if (track.fourChannel) flags += " 4CH";
    if (track.preEmphasis) flags += " PRE";
    return flags;
}

}  // namespace

DiscKind KindOf(const DiscToc& toc) {
    const auto audio = std::count_if(toc.tracks.begin(), toc.tracks.end(),
                                     [](const TocTrack& track) { return track.audio; });
    if (audio == 0) return DiscKind::Data;
    return static_cast<std::size_t>(audio) == toc.tracks.size() ? DiscKind::Audio : DiscKind::Mixed;
}

std::uint32_t AudioSectors(const DiscToc& toc, std::size_t index) {
    const TocTrack& track = toc.tracks.at(index);
    std::uint32_t end = track.start + track.length;
    if (index + 1 < toc.tracks.size() && track.audio && !toc.tracks[index + 1].audio) {
        // The data session's lead-in and its first pre-gap are no audio; nor is the audio
        // session's lead-out, which no drive reads as audio.
        const TocTrack& data = toc.tracks[index + 1];
        const std::uint32_t gap = data.pregap > 0 ? data.pregap : kSessionGapSectors;
        end = data.start > track.start + gap ? data.start - gap : track.start;
    }
    return std::min(end, track.start + track.length) - track.start;
}

std::vector<ByteRange> AudioRanges(const DiscToc& toc) {
    std::vector<ByteRange> ranges;
    for (const TocTrack& track : toc.tracks) {
        if (!track.audio || track.length == 0) continue;
        const ByteRange range{std::uint64_t{track.start} * kSector,
                              (std::uint64_t{track.start} + track.length) * kSector};
        if (!ranges.empty() && ranges.back().end == range.begin) {
            ranges.back().end = range.end;
        } else {
            ranges.push_back(range);
        }
    }
    return ranges;
}

std::string TrackFileName(int number) {
    return "track" + TwoDigits(number) + ".flac";
}

std::string TocIdentityText(const DiscToc& toc) {
    std::string text = "audio table\n";
    for (const TocTrack& track : toc.tracks) {
        text += std::to_string(track.number) + (track.audio ? " audio " : " data ") +
                std::to_string(track.start) + "\n";
    }
    return text + "lead-out " + std::to_string(toc.leadOut) + "\n";
}

std::uint32_t FingerprintOfIdentity(std::string_view identity) {
    const std::string head(identity.substr(0, 8));
    const auto value = static_cast<std::uint32_t>(std::strtoul(head.c_str(), nullptr, 16));
    return value == 0 || value == 0xFFFFFFFFu ? 1 : value;
}

std::string TocText(const DiscToc& toc) {
    std::string text =
        "# The table of contents as the drive reported it: sectors of 1/75 s from the first "
        "track's index 1, MSF times from 00:02:00\n";
    if (!toc.mcn.empty()) text += "CATALOG " + toc.mcn + "\n";
    if (!toc.title.empty()) text += "TITLE " + Quoted(toc.title) + "\n";
    if (!toc.performer.empty()) text += "PERFORMER " + Quoted(toc.performer) + "\n";
    for (const TocTrack& track : toc.tracks) {
        text += "TRACK " + TwoDigits(track.number) + (track.audio ? " AUDIO" : " DATA") +
                " start " + std::to_string(track.start) + " (" +
                CueTime(track.start + kLeadInSectors) + ") length " + std::to_string(track.length) +
                " (" + CueTime(track.length) + ")";
        if (track.pregap > 0) text += " pregap " + std::to_string(track.pregap);
        if (const std::string flags = Flags(track); !flags.empty()) text += " flags" + flags;
        if (!track.isrc.empty()) text += " ISRC " + track.isrc;
        if (!track.title.empty()) text += " TITLE " + Quoted(track.title);
        if (!track.performer.empty()) text += " PERFORMER " + Quoted(track.performer);
        text += "\n";
    }
    return text + "LEAD-OUT " + std::to_string(toc.leadOut) + " (" +
           CueTime(toc.leadOut + kLeadInSectors) + ")\n";
}

DiscIdInput DiscIdInputOf(const DiscToc& toc) {
    DiscIdInput input;
    const auto first = std::find_if(toc.tracks.begin(), toc.tracks.end(),
                                    [](const TocTrack& track) { return track.audio; });
    if (first == toc.tracks.end()) return input;
    auto end =
        std::find_if(first, toc.tracks.end(), [](const TocTrack& track) { return !track.audio; });
    const int leadOut = end == toc.tracks.end()
                            ? static_cast<int>(toc.leadOut)
                            : static_cast<int>(end->start) - static_cast<int>(kSessionGapSectors);
    input.first = first->number;
    input.last = std::prev(end)->number;
    input.offsets.push_back(leadOut + static_cast<int>(kLeadInSectors));
    for (auto track = first; track != end; ++track) {
        input.offsets.push_back(static_cast<int>(track->start + kLeadInSectors));
    }
    return input;
}

std::string CueSheet(const DiscToc& toc, std::string_view discId) {
    std::string text = "REM COMMENT \"Dravolin\"\n";
    if (!discId.empty()) text += "REM MUSICBRAINZ_DISCID " + std::string(discId) + "\n";
    if (!toc.mcn.empty()) text += "CATALOG " + toc.mcn + "\n";
    if (!toc.performer.empty()) text += "PERFORMER " + Quoted(toc.performer) + "\n";
    if (!toc.title.empty()) text += "TITLE " + Quoted(toc.title) + "\n";
    const TocTrack* previous = nullptr;  // the audio track whose file is open
    std::uint32_t previousSectors = 0;
    for (std::size_t index = 0; index < toc.tracks.size(); ++index) {
        const TocTrack& track = toc.tracks[index];
        if (!track.audio) {
            text += "REM DATA TRACK " + TwoDigits(track.number) + " in " + kImageFolder + "\n";
            previous = nullptr;
            continue;
        }
        const auto head = [&] {
            text += "  TRACK " + TwoDigits(track.number) + " AUDIO\n";
            if (const std::string flags = Flags(track); !flags.empty()) {
                text += "    FLAGS" + flags + "\n";
            }
            if (!track.title.empty()) text += "    TITLE " + Quoted(track.title) + "\n";
            if (!track.performer.empty()) {
                text += "    PERFORMER " + Quoted(track.performer) + "\n";
            }
            if (!track.isrc.empty()) text += "    ISRC " + track.isrc + "\n";
        };
        // The pre-gap was read as the end of the track before, so it is told in that one's
        // file; a first track's, or one after data, was not read at all.
        const bool gapInPrevious = previous && track.pregap > 0 && track.pregap <= previousSectors;
        if (gapInPrevious) {
            head();
            text += "    INDEX 00 " + CueTime(previousSectors - track.pregap) + "\n";
        }
        text += "FILE " + Quoted(TrackFileName(track.number)) + " WAVE\n";
        if (!gapInPrevious) head();
        text += "    INDEX 01 00:00:00\n";
        previous = &track;
        previousSectors = AudioSectors(toc, index);
    }
    return text;
}

std::string TrackTime(std::uint64_t sample) {
    const std::uint64_t millis = sample * 1000 / kSampleRate;
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu.%03llu",
                  static_cast<unsigned long long>(millis / 60000),
                  static_cast<unsigned long long>(millis / 1000 % 60),
                  static_cast<unsigned long long>(millis % 1000));
    return text;
}

}  // namespace dravolin::archive

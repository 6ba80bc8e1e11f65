// What an archive makes of a disc's table: its kind, the MusicBrainz disc ID's input, where each
// track's audio ends, and the cue sheet that players and burners read.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "archive/AudioDisc.h"
#include "archive/BagText.h"

namespace dravolin::archive {
namespace {

TocTrack Audio(int number, std::uint32_t start, std::uint32_t length, std::uint32_t pregap = 0) {
    TocTrack track;
    track.number = number;
    track.start = start;
    track.length = length;
    track.pregap = pregap;
    return track;
}

TocTrack Data(int number, std::uint32_t start, std::uint32_t length, std::uint32_t pregap = 0) {
    TocTrack track = Audio(number, start, length, pregap);
    track.audio = false;
    return track;
}

struct TocCase {
    const char* name;
    DiscToc toc;
    DiscKind kind;
    DiscIdInput discId;
    std::vector<std::uint32_t> audioSectors;  // per track, data tracks too
    std::string cue;
};

void PrintTo(const TocCase& c, std::ostream* os) {
    *os << c.name;
}

DiscToc AlbumWithText() {
    DiscToc toc;
    toc.tracks = {Audio(1, 0, 300), Audio(2, 300, 450, 75), Audio(3, 750, 600)};
    toc.tracks[1].isrc = "USABC2600001";
    toc.tracks[1].title = "Second \"take\"";
    toc.tracks[1].performer = "Duo";
    toc.tracks[2].preEmphasis = true;
    toc.tracks[2].copyPermitted = true;
    toc.leadOut = 1350;
    toc.mcn = "0123456789012";
    toc.title = "Album";
    toc.performer = "Band";
    return toc;
}

class AudioTables : public ::testing::TestWithParam<TocCase> {};

TEST_P(AudioTables, GiveTheKindTheDiscIdTheTracksAudioAndTheCueSheet) {
    const TocCase& c = GetParam();
    EXPECT_EQ(KindOf(c.toc), c.kind);
    const DiscIdInput input = DiscIdInputOf(c.toc);
    EXPECT_EQ(input.first, c.discId.first);
    EXPECT_EQ(input.last, c.discId.last);
    EXPECT_EQ(input.offsets, c.discId.offsets);
    std::vector<std::uint32_t> sectors;
    for (std::size_t i = 0; i < c.toc.tracks.size(); ++i) sectors.push_back(AudioSectors(c.toc, i));
    EXPECT_EQ(sectors, c.audioSectors);
    EXPECT_EQ(CueSheet(c.toc, "id-"), c.cue);
}

INSTANTIATE_TEST_SUITE_P(
    Archive, AudioTables,
    ::testing::Values(
        // Track 2's pre-gap is the end of track 1's file; quotes cannot be escaped in a cue.
        TocCase{"AudioWithPregapTextAndCodes",
                AlbumWithText(),
                DiscKind::Audio,
                DiscIdInput{1, 3, {1500, 150, 450, 900}},
                {300, 450, 600},
                "REM COMMENT \"Dravolin\"\nREM MUSICBRAINZ_DISCID id-\nCATALOG 0123456789012\n"
                "PERFORMER \"Band\"\nTITLE \"Album\"\n"
                "FILE \"track01.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                "  TRACK 02 AUDIO\n    TITLE \"Second 'take'\"\n    PERFORMER \"Duo\"\n"
                "    ISRC USABC2600001\n    INDEX 00 00:03:00\n"
                "FILE \"track02.flac\" WAVE\n    INDEX 01 00:00:00\n"
                "FILE \"track03.flac\" WAVE\n  TRACK 03 AUDIO\n    FLAGS DCP PRE\n"
                "    INDEX 01 00:00:00\n"},
        // The data track comes first: the disc ID counts the audio alone, and the pre-gap
        // after data was never read.
        TocCase{"MixedModeDataFirst",
                DiscToc{{Data(1, 0, 1000), Audio(2, 1000, 500, 150), Audio(3, 1500, 500)},
                        2000,
                        "",
                        "",
                        ""},
                DiscKind::Mixed,
                DiscIdInput{2, 3, {2150, 1150, 1650}},
                {1000, 500, 500},
                "REM COMMENT \"Dravolin\"\nREM MUSICBRAINZ_DISCID id-\n"
                "REM DATA TRACK 01 in data/image\n"
                "FILE \"track02.flac\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
                "FILE \"track03.flac\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n"},
        // An Enhanced CD: the audio session ends 11400 sectors before the data track, whose
        // pre-gap the table does not tell.
        TocCase{
            "EnhancedCdDataLast",
            DiscToc{
                {Audio(1, 0, 500), Audio(2, 500, 12400), Data(3, 12900, 3000)}, 15900, "", "", ""},
            DiscKind::Mixed,
            DiscIdInput{1, 2, {1650, 150, 650}},
            {500, 1000, 3000},
            "REM COMMENT \"Dravolin\"\nREM MUSICBRAINZ_DISCID id-\n"
            "FILE \"track01.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            "FILE \"track02.flac\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
            "REM DATA TRACK 03 in data/image\n"},
        TocCase{"DataAlone",
                DiscToc{{Data(1, 0, 3000)}, 3000, "", "", ""},
                DiscKind::Data,
                DiscIdInput{0, 0, {}},
                {3000},
                "REM COMMENT \"Dravolin\"\nREM MUSICBRAINZ_DISCID id-\n"
                "REM DATA TRACK 01 in data/image\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioDamage, IsToldByTrackTimeAndSamples) {
    ArchivedFile track{
        "track02.flac", 1000, "00", {{44100, 45276}, {2646000, 2646588}}, kAudioFolder};
    EXPECT_EQ(DamagedFilesText({track}, {}),
              "data/audio/track02.flac 0:01.000-0:01.026 samples 44100-45276\n"
              "data/audio/track02.flac 1:00.000-1:00.013 samples 2646000-2646588\n");
    // The identity ignores what not every reader of the table gets.
    DiscToc plain = AlbumWithText();
    plain.mcn.clear();
    plain.title.clear();
    for (TocTrack& t : plain.tracks) t = Audio(t.number, t.start, t.length, t.pregap);
    EXPECT_EQ(TocIdentityText(plain), TocIdentityText(AlbumWithText()));
    plain.tracks[2].start += 1;
    EXPECT_NE(TocIdentityText(plain), TocIdentityText(AlbumWithText()));
}

}  // namespace
}  // namespace dravolin::archive

// Audio CDs through libcdio, libcdio-paranoia, libFLAC and libdiscid, on disc images written
// from generated audio: what the rip writes must decode to exactly the samples the image holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/resource.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <span>
#include "ChildProcess.h"
#include "LinuxTestSupport.h"
#include "audio/AudioImages.h"
#include "audio/FlacDecode.h"
#include "platform/linux/audio/CdioDisc.h"
#include "platform/linux/audio/TrackRip.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {
namespace {

std::string AudioRipHex(std::span<const unsigned char> bytes) {
    std::string hex;
    for (const unsigned char byte : bytes) {
        char text[3];
        std::snprintf(text, sizeof text, "%02x", byte);
        hex += text;
    }
    return hex;
}

// What FLAC's MD5 covers: the samples interleaved, 16-bit little-endian.
std::string AudioRipMd5(const ImageTrackAudio& audio, std::uint64_t frames) {
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> md5(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr);
    std::vector<unsigned char> bytes;
    const std::uint64_t total =
        audio.samples.size() / 2 + std::uint64_t{audio.silentSectors} * archive::kSamplesPerSector;
    for (std::uint64_t i = 0; i < std::min(frames, total) * 2; ++i) {
        const auto value =
            static_cast<std::uint16_t>(i < audio.samples.size() ? audio.samples[i] : 0);
        bytes.push_back(static_cast<unsigned char>(value & 0xFF));
        bytes.push_back(static_cast<unsigned char>(value >> 8));
    }
    EVP_DigestUpdate(md5.get(), bytes.data(), bytes.size());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(md5.get(), digest, &size);
    return AudioRipHex({digest, size});
}

// MusicBrainz's disc ID, as its documentation describes it: SHA-1 of the first and last track
// numbers ("%02X") and of 100 offsets ("%08X": the lead-out, then track 1 to 99, 0 for none),
// in Base64 with '.', '_' and '-' for '+', '/' and '='.
std::string AudioRipDiscId(int first, int last, int leadOut, const std::vector<int>& starts) {
    std::string text;
    char field[16];
    std::snprintf(field, sizeof field, "%02X%02X", first, last);
    text += field;
    for (int number = 0; number < 100; ++number) {
        int offset = 0;
        if (number == 0) offset = leadOut;
        if (number >= first && number <= last) offset = starts[number - first];
        std::snprintf(field, sizeof field, "%08X", offset);
        text += field;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha1(), nullptr);
    unsigned char base64[64] = {};
    EVP_EncodeBlock(base64, digest, static_cast<int>(size));
    std::string id(reinterpret_cast<const char*>(base64));
    std::replace(id.begin(), id.end(), '+', '.');
    std::replace(id.begin(), id.end(), '/', '_');
    std::replace(id.begin(), id.end(), '=', '-');
    return id;
}

// The disc ID's arguments read off the table: the audio tracks up to the first data track after
// them, whose start less the sessions' gap ends the audio; lead-in counted.
std::string AudioRipDiscIdOfToc(const archive::DiscToc& toc) {
    int first = 0;
    int last = 0;
    int leadOut = static_cast<int>(toc.leadOut);
    std::vector<int> starts;
    for (const archive::TocTrack& track : toc.tracks) {
        if (!track.audio && first != 0) {
            leadOut = static_cast<int>(track.start - archive::kSessionGapSectors);
            break;
        }
        if (!track.audio) continue;
        if (first == 0) first = track.number;
        last = track.number;
        starts.push_back(static_cast<int>(track.start + 150));
    }
    return AudioRipDiscId(first, last, leadOut + 150, starts);
}

void AudioRipExpectToc(const archive::DiscToc& got, const archive::DiscToc& expected) {
    EXPECT_EQ(got.leadOut, expected.leadOut);
    EXPECT_EQ(got.mcn, expected.mcn);
    EXPECT_EQ(got.title, expected.title);
    EXPECT_EQ(got.performer, expected.performer);
    ASSERT_EQ(got.tracks.size(), expected.tracks.size());
    for (std::size_t i = 0; i < got.tracks.size(); ++i) {
        const archive::TocTrack& track = got.tracks[i];
        const archive::TocTrack& want = expected.tracks[i];
        SCOPED_TRACE("track " + std::to_string(want.number));
        EXPECT_EQ(track.number, want.number);
        EXPECT_EQ(track.start, want.start);
        EXPECT_EQ(track.length, want.length);
        EXPECT_EQ(track.audio, want.audio);
        EXPECT_EQ(track.pregap, want.pregap);
        EXPECT_EQ(track.preEmphasis, want.preEmphasis);
        EXPECT_EQ(track.copyPermitted, want.copyPermitted);
        EXPECT_EQ(track.fourChannel, want.fourChannel);
        EXPECT_EQ(track.isrc, want.isrc);
        EXPECT_EQ(track.title, want.title);
        EXPECT_EQ(track.performer, want.performer);
    }
}

// Whether `samples` are the track's first `frames` stereo samples; where not, the first
// that differs.
::testing::AssertionResult AudioRipHoldsTrack(const std::vector<std::int16_t>& samples,
                                              const ImageTrackAudio& audio, std::uint64_t frames) {
    if (samples.size() != frames * 2) {
        return ::testing::AssertionFailure() << samples.size() / 2 << " samples, not " << frames;
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::int16_t want = i < audio.samples.size() ? audio.samples[i] : 0;
        if (samples[i] != want) {
            return ::testing::AssertionFailure()
                   << "sample " << i / 2 << (i % 2 ? " right " : " left ") << samples[i] << ", not "
                   << want;
        }
    }
    return ::testing::AssertionSuccess();
}

std::uint64_t AudioRipFrames(const ImageTrackAudio& audio) {
    return audio.samples.size() / 2 +
           std::uint64_t{audio.silentSectors} * archive::kSamplesPerSector;
}

UniqueFd AudioRipCreate(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
}

class AudioRipImageTest : public ::testing::TestWithParam<ImageDisc> {};

TEST_P(AudioRipImageTest, ReadsTheTableAndRipsEveryTrackToItsSamples) {
    TempFolder folder;
    const DiscImage image = WriteDiscImage(GetParam(), folder.Path());
    if (image.path.empty()) GTEST_SKIP() << "genisoimage is needed (scripts/install-deps)";
    const std::unique_ptr<CdioDisc> disc = CdioDisc::Open(image.path);
    ASSERT_TRUE(disc);
    EXPECT_TRUE(disc->IsImage());
    const std::optional<archive::DiscToc> toc = disc->ReadToc();
    ASSERT_TRUE(toc);
    AudioRipExpectToc(*toc, image.toc);
    EXPECT_EQ(MusicBrainzDiscId(*toc), AudioRipDiscIdOfToc(image.toc));
    const bool flacTool = RunProgram({"flac", "--version"}) == 0;

    for (std::size_t i = 0; i < image.toc.tracks.size(); ++i) {
        const archive::TocTrack& track = image.toc.tracks[i];
        SCOPED_TRACE("track " + std::to_string(track.number));
        if (!track.audio) {
            CdioSectors sectors(*disc);
            std::string bytes(image.iso.size(), '\0');
            const std::uint64_t count = bytes.size() / archive::kSector;
            for (std::uint64_t at = 0; at < count; at += archive::kRescueRequestSectors) {
                const auto n = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(archive::kRescueRequestSectors, count - at));
                ASSERT_TRUE(
                    sectors.Read(track.start + at, n,
                                 std::as_writable_bytes(std::span(bytes))
                                     .subspan(at * archive::kSector, n * archive::kSector)));
            }
            EXPECT_TRUE(bytes == image.iso);
            continue;
        }
        const ImageTrackAudio& audio = image.audio[i];
        const std::string path = folder / archive::TrackFileName(track.number);
        const UniqueFd fd = AudioRipCreate(path);
        std::uint32_t progressed = 0;
        const RipHooks hooks{nullptr, [&](std::uint32_t done) { progressed = done; }};
        const TrackRipResult result = RipTrack(*disc, track, fd.Get(), hooks);
        EXPECT_EQ(result.error, 0);
        EXPECT_FALSE(result.stopped);
        EXPECT_EQ(result.samples, AudioRipFrames(audio));
        EXPECT_TRUE(result.damaged.empty());
        EXPECT_EQ(progressed, track.length);
        EXPECT_EQ(result.md5, AudioRipMd5(audio, AudioRipFrames(audio)));

        const DecodedFlac decoded = DecodeFlac(path);
        EXPECT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.channels, 2u);
        EXPECT_EQ(decoded.bitsPerSample, 16u);
        EXPECT_EQ(decoded.sampleRate, archive::kSampleRate);
        EXPECT_EQ(decoded.totalSamples, AudioRipFrames(audio));
        EXPECT_EQ(decoded.md5, result.md5);
        EXPECT_TRUE(AudioRipHoldsTrack(decoded.samples, audio, AudioRipFrames(audio)));
        if (flacTool) {
            const int tested = RunProgram({"flac", "-t", "-s", path});
            EXPECT_EQ(tested, 0);
        }

        const std::string performer =
            track.performer.empty() ? image.toc.performer : track.performer;
        const std::map<std::string, std::string> tags = decoded.tags;
        EXPECT_EQ(tags.count("TITLE") ? tags.at("TITLE") : "", track.title);
        EXPECT_EQ(tags.count("ARTIST") ? tags.at("ARTIST") : "", performer);
        EXPECT_EQ(tags.count("ALBUM") ? tags.at("ALBUM") : "", image.toc.title);
        EXPECT_EQ(tags.count("ISRC") ? tags.at("ISRC") : "", track.isrc);
        EXPECT_EQ(tags.count("TRACKNUMBER") ? tags.at("TRACKNUMBER") : "",
                  std::to_string(track.number));
    }
}

INSTANTIATE_TEST_SUITE_P(AudioImages, AudioRipImageTest,
                         ::testing::Values(ImageDisc::AudioCue, ImageDisc::AudioToc,
                                           ImageDisc::MixedMode, ImageDisc::EnhancedCd),
                         [](const ::testing::TestParamInfo<ImageDisc>& info) {
                             return std::string(ImageDiscName(info.param));
                         });

TEST(AudioRipTest, StopEndsTheFileAfterTheSectorsReadSoFar) {
    TempFolder folder;
    const DiscImage image = WriteDiscImage(ImageDisc::AudioCue, folder.Path());
    const std::unique_ptr<CdioDisc> disc = CdioDisc::Open(image.path);
    ASSERT_TRUE(disc);
    for (const std::uint32_t sectors : {0u, 1u, 150u}) {
        SCOPED_TRACE(std::to_string(sectors) + " sectors");
        const std::string path = folder / "stopped.flac";
        const UniqueFd fd = AudioRipCreate(path);
        std::uint32_t progressed = 0;
        const RipHooks hooks{[&] { return progressed == sectors; },
                             [&](std::uint32_t done) { progressed = done; }};
        const TrackRipResult result = RipTrack(*disc, image.toc.tracks[0], fd.Get(), hooks);
        EXPECT_EQ(result.error, 0);
        EXPECT_TRUE(result.stopped);
        const std::uint64_t frames = std::uint64_t{sectors} * archive::kSamplesPerSector;
        EXPECT_EQ(result.samples, frames);
        EXPECT_EQ(result.md5, AudioRipMd5(image.audio[0], frames));
        const DecodedFlac decoded = DecodeFlac(path);
        EXPECT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.totalSamples, frames);
        EXPECT_TRUE(AudioRipHoldsTrack(decoded.samples, image.audio[0], frames));
    }
}

// The FLAC file's own failures come back as their errno, and the rip ends there.
TEST(AudioRipTest, AFileThatCannotBeWrittenGivesItsError) {
    TempFolder folder;
    const DiscImage image = WriteDiscImage(ImageDisc::AudioCue, folder.Path());
    const std::string readOnly = folder / "read-only.flac";
    WriteFile(readOnly, "");
    struct Case {
        const char* name;
        std::function<UniqueFd()> open;
        rlim_t sizeLimit;  // RLIM_INFINITY: none
        int error;
    };
    const Case cases[] = {
        {"opened for reading", [&] { return UniqueFd(::open(readOnly.c_str(), O_RDONLY)); },
         RLIM_INFINITY, EBADF},
        {"a full device", [] { return UniqueFd(::open("/dev/full", O_WRONLY)); }, RLIM_INFINITY,
         ENOSPC},
        {"past the size limit after its header",
         [&] { return AudioRipCreate(folder / "big.flac"); }, 64 * 1024, EFBIG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // In a child: the size limit stays its own.
        const ChildResult child = RunInChild([&](std::string& message) {
            if (c.sizeLimit != RLIM_INFINITY) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{c.sizeLimit, c.sizeLimit};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return kChildCannot;
            }
            const std::unique_ptr<CdioDisc> disc = CdioDisc::Open(image.path);
            const UniqueFd fd = c.open();
            if (!disc || !fd) return kChildCannot;
            const TrackRipResult result = RipTrack(*disc, image.toc.tracks[0], fd.Get(), {});
            message = "error " + std::to_string(result.error) + " after " +
                      std::to_string(result.samples) + " samples";
            return result.error == c.error ? 0 : 1;
        });
        EXPECT_EQ(child.status, 0) << child.message;
    }
}

TEST(AudioRipTest, DiscIdOfMusicBrainzsOwnExample) {
    // The six-track disc of MusicBrainz's "Disc ID Calculation" page, and the ID it gives.
    archive::DiscToc toc;
    const std::uint32_t starts[] = {0, 15213, 32164, 46442, 63264, 80339};
    for (int i = 0; i < 6; ++i) {
        archive::TocTrack track;
        track.number = i + 1;
        track.start = starts[i];
        track.length = (i < 5 ? starts[i + 1] : 95312) - starts[i];
        toc.tracks.push_back(track);
    }
    toc.leadOut = 95312;
    EXPECT_EQ(MusicBrainzDiscId(toc), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    EXPECT_EQ(AudioRipDiscIdOfToc(toc), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    toc.tracks.clear();
    EXPECT_EQ(MusicBrainzDiscId(toc), "");
}

TEST(AudioRipTest, ImageNamesAndWhatLibcdioOpens) {
    TempFolder folder;
    WriteFile(folder / "empty.cue", "");
    const struct {
        std::string path;
        bool imageName;
        bool opens;
    } cases[] = {
        {folder / "missing.cue", true, false}, {folder / "DISC.CUE", true, false},
        {folder / "missing.toc", true, false}, {folder / "empty.cue", true, false},
        {folder / "disc.iso", false, false},   {folder / "cue", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsCdImageName(c.path), c.imageName);
        EXPECT_EQ(CdioDisc::Open(c.path) != nullptr, c.opens);
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

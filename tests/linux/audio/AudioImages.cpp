#include "audio/AudioImages.h"

#include <fcntl.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <numbers>
#include "LinuxTestSupport.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {

namespace {

constexpr std::uint32_t kImageDataSectorBytes = 2048;

// Four kinds of sound, so that a sample taken from the wrong track or the wrong place shows.
enum class ImageSound { Sine, Ramp, Noise, Hum };

std::vector<std::int16_t> ImageSoundOf(ImageSound sound, std::uint32_t sectors) {
    std::vector<std::int16_t> samples(std::size_t{sectors} * archive::kSamplesPerSector * 2);
    std::uint32_t state = 12345;
    for (std::size_t frame = 0; frame < samples.size() / 2; ++frame) {
        const double t = static_cast<double>(frame) / archive::kSampleRate;
        std::int16_t left = 0;
        std::int16_t right = 0;
        switch (sound) {
            case ImageSound::Sine:
                left = static_cast<std::int16_t>(
                    std::lround(12000 * std::sin(2 * std::numbers::pi * 440 * t)));
                right = static_cast<std::int16_t>(
                    std::lround(9000 * std::sin(2 * std::numbers::pi * 660 * t)));
                break;
            case ImageSound::Ramp:
                left = static_cast<std::int16_t>(static_cast<std::uint16_t>(frame * 97));
                right = static_cast<std::int16_t>(-left / 2);
                break;
            case ImageSound::Noise:
                state = state * 1664525u + 1013904223u;
                left = static_cast<std::int16_t>(state >> 16);
                state = state * 1664525u + 1013904223u;
                right = static_cast<std::int16_t>(state >> 16);
                break;
            case ImageSound::Hum:
                left =
                    static_cast<std::int16_t>(frame % 200 < 100 ? frame % 100 : 100 - frame % 100);
                right = static_cast<std::int16_t>(-left);
                break;
        }
        samples[frame * 2] = left;
        samples[frame * 2 + 1] = right;
    }
    return samples;
}

std::vector<std::int16_t> ImageJoined(std::vector<std::int16_t> first,
                                      const std::vector<std::int16_t>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// "mm:ss:ff" of a sector count, as cue sheets and TOC files write times.
std::string ImageMsf(std::uint32_t sectors) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", sectors / 4500, sectors / 75 % 60,
                  sectors % 75);
    return text;
}

std::uint8_t ImageBcd(std::uint32_t value) {
    return static_cast<std::uint8_t>((value / 10) << 4 | value % 10);
}

// The disc's sectors, in one raw file as both image formats want it.
class ImageBin {
  public:
    explicit ImageBin(const std::string& path)
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)) {}
    ~ImageBin() {
        if (::ftruncate(fd_.Get(), static_cast<off_t>(offset_)) != 0) std::perror("ftruncate");
    }
    ImageBin(const ImageBin&) = delete;
    ImageBin& operator=(const ImageBin&) = delete;

    std::uint32_t Sectors() const {
        return static_cast<std::uint32_t>(offset_ / archive::kAudioSectorBytes);
    }

    void Audio(const std::vector<std::int16_t>& samples, bool bigEndian) {
        std::string bytes;
        for (const std::int16_t sample : samples) {
            const auto value = static_cast<std::uint16_t>(sample);
            const char low = static_cast<char>(value & 0xFF);
            const char high = static_cast<char>(value >> 8);
            bytes += bigEndian ? high : low;
            bytes += bigEndian ? low : high;
        }
        Put(bytes);
    }

    // Mode 1 sectors: sync, header (address and mode), user data; the error codes stay zero,
    // as libcdio's image drivers read the user data alone.
    void Data(const std::string& volume) {
        for (std::size_t at = 0; at < volume.size(); at += kImageDataSectorBytes) {
            const std::uint32_t address = Sectors() + archive::kLeadInSectors;
            std::string sector(archive::kAudioSectorBytes, '\0');
            for (int i = 1; i <= 10; ++i) sector[i] = '\xFF';
            sector[12] = static_cast<char>(ImageBcd(address / 4500));
            sector[13] = static_cast<char>(ImageBcd(address / 75 % 60));
            sector[14] = static_cast<char>(ImageBcd(address % 75));
            sector[15] = 1;
            sector.replace(16, kImageDataSectorBytes, volume, at, kImageDataSectorBytes);
            Put(sector);
        }
    }

    // Silence left unwritten: the file stays sparse.
    void Hole(std::uint32_t sectors) {
        offset_ += std::uint64_t{sectors} * archive::kAudioSectorBytes;
    }

  private:
    void Put(const std::string& bytes) {
        if (::pwrite(fd_.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset_)) !=
            static_cast<ssize_t>(bytes.size())) {
            std::perror("pwrite");
        }
        offset_ += bytes.size();
    }

    UniqueFd fd_;
    std::uint64_t offset_ = 0;
};

archive::TocTrack ImageTocTrack(int number, std::uint32_t start, std::uint32_t length, bool audio) {
    archive::TocTrack track;
    track.number = number;
    track.start = start;
    track.length = length;
    track.audio = audio;
    return track;
}

// A volume mastered for a session that starts at `start`: its addresses count from the disc's
// start, as an Enhanced CD's second session's do.
std::string ImageVolume(const std::string& folder, std::uint32_t start = 0) {
    const std::string files = folder + "/volume";
    MakeFolder(files);
    WriteFile(files + "/readme.txt", "A data track beside the audio.\n");
    WriteFile(files + "/pattern.bin", Pattern(20000, 7));
    const std::string iso = folder + "/volume.iso";
    std::vector<std::string> command = {"genisoimage", "-quiet", "-V", "DATA_TRACK", "-o", iso};
    if (start > 0) command.insert(command.end(), {"-C", "0," + std::to_string(start)});
    command.push_back(files);
    if (RunProgram(command) != 0) return {};
    return ReadFile(iso);
}

// Three tracks: 300 sectors of sine, 75 of hum in track 2's pre-gap, 260 of ramp, 220 of noise.
DiscImage ImageAudioDisc(const std::string& folder, bool toc) {
    const auto sine = ImageSoundOf(ImageSound::Sine, 300);
    const auto hum = ImageSoundOf(ImageSound::Hum, 75);
    const auto ramp = ImageSoundOf(ImageSound::Ramp, 260);
    const auto noise = ImageSoundOf(ImageSound::Noise, 220);
    const std::string bin = folder + (toc ? "/audio-be.bin" : "/audio.bin");
    {
        ImageBin image(bin);
        for (const auto* sound : {&sine, &hum, &ramp, &noise}) image.Audio(*sound, toc);
    }
    DiscImage disc;
    disc.toc.mcn = "4006381333931";
    disc.toc.title = "Caf\u00e9 Sessions";
    disc.toc.performer = "Dravolin Ensemble";
    disc.toc.leadOut = 855;
    disc.toc.tracks = {ImageTocTrack(1, 0, 375, true), ImageTocTrack(2, 375, 260, true),
                       ImageTocTrack(3, 635, 220, true)};
    archive::TocTrack& one = disc.toc.tracks[0];
    one.isrc = "DEA121234567";
    one.title = "Sine";
    one.performer = "Sine Player";
    archive::TocTrack& two = disc.toc.tracks[1];
    two.pregap = 75;
    two.copyPermitted = true;
    two.preEmphasis = true;
    two.title = "Ramp";
    archive::TocTrack& three = disc.toc.tracks[2];
    three.fourChannel = true;
    three.title = "Noise";
    disc.audio = {{ImageJoined(sine, hum), 0}, {ramp, 0}, {noise, 0}};

    // Both formats' text is ISO 8859-1, which libcdio recodes.
    const std::string album = "Caf\xE9 Sessions";
    std::string text;
    if (!toc) {
        disc.path = folder + "/audio.cue";
        text = "CATALOG 4006381333931\nPERFORMER \"Dravolin Ensemble\"\nTITLE \"" + album +
               "\"\nFILE \"audio.bin\" BINARY\n"
               "  TRACK 01 AUDIO\n    TITLE \"Sine\"\n    PERFORMER \"Sine Player\"\n"
               "    ISRC DEA121234567\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    TITLE \"Ramp\"\n    FLAGS DCP PRE\n"
               "    INDEX 00 " +
               ImageMsf(300) + "\n    INDEX 01 " + ImageMsf(375) +
               "\n"
               "  TRACK 03 AUDIO\n    TITLE \"Noise\"\n    FLAGS 4CH\n"
               "    INDEX 01 " +
               ImageMsf(635) + "\n";
    } else {
        // Its audio file named from the TOC file's folder, as cdrdao writes it; libcdio reads a
        // line a keyword, so the language map stays on one line.
        disc.path = folder + "/audio.toc";
        const auto file = [&](std::uint32_t from, std::uint32_t length) {
            return "FILE \"audio-be.bin\" " + ImageMsf(from) + " " + ImageMsf(length) + "\n";
        };
        text =
            "CD_DA\nCATALOG \"4006381333931\"\n"
            "CD_TEXT {\n  LANGUAGE_MAP { 0 : EN }\n  LANGUAGE 0 {\n"
            "    TITLE \"" +
            album +
            "\"\n    PERFORMER \"Dravolin Ensemble\"\n  }\n}\n"
            "TRACK AUDIO\nISRC \"DEA121234567\"\n"
            "CD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"Sine\"\n    PERFORMER \"Sine Player\"\n"
            "  }\n}\n" +
            file(0, 300) +
            "TRACK AUDIO\nCOPY\nPRE_EMPHASIS\n"
            "CD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"Ramp\"\n  }\n}\n" +
            file(300, 335) + "START " + ImageMsf(75) +
            "\n"
            "TRACK AUDIO\nFOUR_CHANNEL_AUDIO\n"
            "CD_TEXT {\n  LANGUAGE 0 {\n    TITLE \"Noise\"\n  }\n}\n" +
            file(635, 220);
    }
    WriteFile(disc.path, text);
    return disc;
}

// The data track, 150 sectors of hum as track 2's pre-gap, 200 of ramp, 150 of sine.
DiscImage ImageMixedModeDisc(const std::string& folder) {
    DiscImage disc;
    disc.iso = ImageVolume(folder);
    if (disc.iso.empty()) return disc;
    const auto ramp = ImageSoundOf(ImageSound::Ramp, 200);
    const auto sine = ImageSoundOf(ImageSound::Sine, 150);
    const auto data = static_cast<std::uint32_t>(disc.iso.size() / kImageDataSectorBytes);
    {
        ImageBin image(folder + "/mixed.bin");
        image.Data(disc.iso);
        image.Audio(ImageSoundOf(ImageSound::Hum, 150), false);
        image.Audio(ramp, false);
        image.Audio(sine, false);
    }
    disc.toc.leadOut = data + 500;
    disc.toc.tracks = {ImageTocTrack(1, 0, data + 150, false),
                       ImageTocTrack(2, data + 150, 200, true),
                       ImageTocTrack(3, data + 350, 150, true)};
    disc.toc.tracks[1].pregap = 150;
    disc.toc.tracks[1].title = "Gr\u00fc\u00dfe";
    disc.toc.title = "\u041f\u043b\u0430\u0441\u0442\u0438\u043d\u043a\u0430";
    disc.toc.performer = "Gruppe M\u00fcller";
    disc.audio = {{}, {ramp, 0}, {sine, 0}};
    // Its CD-TEXT in UTF-8, as most tools now write cue sheets.
    disc.path = folder + "/mixed.cue";
    WriteFile(disc.path, "TITLE \"" + disc.toc.title + "\"\nPERFORMER \"" + disc.toc.performer +
                             "\"\nFILE \"mixed.bin\" BINARY\n  TRACK 01 MODE1/2352\n"
                             "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"" +
                             disc.toc.tracks[1].title + "\"\n    INDEX 00 " + ImageMsf(data) +
                             "\n    INDEX 01 " + ImageMsf(data + 150) +
                             "\n  TRACK 03 AUDIO\n    INDEX 01 " + ImageMsf(data + 350) + "\n");
    return disc;
}

// 250 sectors of noise, 200 of sine, then the sessions' gap and the data track.
DiscImage ImageEnhancedDisc(const std::string& folder) {
    DiscImage disc;
    const std::uint32_t data = 450 + archive::kSessionGapSectors;
    disc.iso = ImageVolume(folder, data);
    if (disc.iso.empty()) return disc;
    const auto noise = ImageSoundOf(ImageSound::Noise, 250);
    const auto sine = ImageSoundOf(ImageSound::Sine, 200);
    {
        ImageBin image(folder + "/enhanced.bin");
        image.Audio(noise, false);
        image.Audio(sine, false);
        image.Hole(archive::kSessionGapSectors);
        image.Data(disc.iso);
    }
    disc.toc.leadOut = data + static_cast<std::uint32_t>(disc.iso.size() / kImageDataSectorBytes);
    disc.toc.tracks = {ImageTocTrack(1, 0, 250, true), ImageTocTrack(2, 250, data - 250, true),
                       ImageTocTrack(3, data, disc.toc.leadOut - data, false)};
    disc.toc.tracks[1].isrc = "GBXYZ2400001";
    disc.audio = {{noise, 0}, {sine, archive::kSessionGapSectors}, {}};
    disc.path = folder + "/enhanced.cue";
    WriteFile(disc.path,
              "FILE \"enhanced.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    ISRC GBXYZ2400001\n    INDEX 01 " +
                  ImageMsf(250) + "\n  TRACK 03 MODE1/2352\n    INDEX 01 " + ImageMsf(data) + "\n");
    return disc;
}

}  // namespace

const char* ImageDiscName(ImageDisc disc) {
    switch (disc) {
        case ImageDisc::AudioCue:
            return "AudioCue";
        case ImageDisc::AudioToc:
            return "AudioToc";
        case ImageDisc::MixedMode:
            return "MixedMode";
        case ImageDisc::EnhancedCd:
            return "EnhancedCd";
    }
    return "?";
}

DiscImage WriteDiscImage(ImageDisc disc, const std::string& folder) {
    switch (disc) {
        case ImageDisc::AudioCue:
            return ImageAudioDisc(folder, false);
        case ImageDisc::AudioToc:
            return ImageAudioDisc(folder, true);
        case ImageDisc::MixedMode:
            return ImageMixedModeDisc(folder);
        case ImageDisc::EnhancedCd:
            return ImageEnhancedDisc(folder);
    }
    return {};
}

}  // namespace dravolin::lnx::test

#include "platform/linux/audio/AudioBag.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <vector>
#include "platform/linux/audio/TrackRip.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

namespace {

constexpr char kFieldDiscKind[] = "Dravolin-Disc-Kind";
constexpr char kFieldDiscId[] = "Dravolin-MusicBrainz-Disc-ID";
constexpr char kFieldCatalog[] = "Dravolin-Catalog-Number";
constexpr char kFieldAlbum[] = "Dravolin-CD-Text-Title";
constexpr char kFieldPerformer[] = "Dravolin-CD-Text-Performer";
constexpr char kFieldTrack[] = "Dravolin-Audio-Track";

// The digest and size of a file the rip wrote, read back from the target: what the manifest
// vouches for is what the disk holds.
int DigestOf(int fd, archive::ArchivedFile& file) {
    Sha256 digest;
    std::vector<char> block(1 << 20);
    file.size = 0;
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, block.data(), block.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        digest.Update(block.data(), static_cast<std::size_t>(n));
        at += n;
        file.size += static_cast<std::uint64_t>(n);
    }
    file.sha256 = digest.Finish();
    return 0;
}

int WriteText(int folder, const std::string& name, const std::string& text,
              archive::ArchivedFile& file) {
    const UniqueFd fd(
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd) return errno;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd.Get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.Get()) != 0) return errno;
    file = {name, text.size(), Sha256Of(text), {}, archive::kAudioFolder};
    return 0;
}

}  // namespace

std::string DiscKindText(const archive::DiscToc& toc) {
    if (archive::KindOf(toc) == archive::DiscKind::Audio) return "audio CD";
    if (archive::KindOf(toc) == archive::DiscKind::Data) return "data CD";
    return toc.tracks.front().audio ? "Enhanced CD (data last)" : "mixed-mode CD (data first)";
}

AudioBagResult RipAudio(const AudioRead& read, int bag,
                        const std::function<bool(const CopyProgress&)>& progress) {
    AudioBagResult result;
    const archive::DiscToc& toc = read.toc;
    result.notes.emplace_back(kFieldDiscKind, DiscKindText(toc));
    if (!read.discId.empty()) result.notes.emplace_back(kFieldDiscId, read.discId);
    if (!toc.mcn.empty()) result.notes.emplace_back(kFieldCatalog, toc.mcn);
    if (!toc.title.empty()) result.notes.emplace_back(kFieldAlbum, toc.title);
    if (!toc.performer.empty()) result.notes.emplace_back(kFieldPerformer, toc.performer);
    if (::mkdirat(bag, archive::kAudioFolder, 0777) != 0 && errno != EEXIST) {
        result.error = errno;
        return result;
    }
    const UniqueFd folder(
        ::openat(bag, archive::kAudioFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        result.error = errno;
        return result;
    }

    CopyProgress shown;
    for (std::size_t index = 0; index < toc.tracks.size(); ++index) {
        if (!toc.tracks[index].audio) continue;
        shown.filesTotal += 1;
        shown.bytesTotal +=
            std::uint64_t{archive::AudioSectors(toc, index)} * archive::kAudioSectorBytes;
    }
    for (std::size_t index = 0; index < toc.tracks.size() && !result.stopped; ++index) {
        archive::TocTrack track = toc.tracks[index];
        if (!track.audio) continue;
        track.length = archive::AudioSectors(toc, index);
        archive::ArchivedFile file;
        file.path = archive::TrackFileName(track.number);
        file.folder = archive::kAudioFolder;
        const UniqueFd fd(::openat(folder.Get(), file.path.c_str(),
                                   O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd) {
            result.error = errno;
            return result;
        }
        shown.currentFile = "audio/" + file.path;
        const std::uint64_t before = shown.bytesDone;
        RipHooks hooks;
        hooks.stop = [&] { return result.stopped; };
        hooks.progress = [&](std::uint32_t sectors) {
            shown.bytesDone = before + std::uint64_t{sectors} * archive::kAudioSectorBytes;
            if (!progress(shown)) result.stopped = true;
        };
        const TrackRipResult ripped = RipTrack(*read.disc, track, fd.Get(), hooks);
        // A file the manifest does not list would make the bag invalid: what failed goes.
        const auto drop = [&](int error) {
            ::unlinkat(folder.Get(), file.path.c_str(), 0);
            result.error = error;
            return result;
        };
        if (ripped.error != 0) return drop(ripped.error);
        for (const archive::SampleRange& range : ripped.damaged) {
            file.damaged.push_back({range.begin, range.end});
        }
        const std::uint64_t samples = std::uint64_t{track.length} * archive::kSamplesPerSector;
        // What was not read is no part of the track: told as damage, so the bag is incomplete.
        if (ripped.samples < samples) file.damaged.push_back({ripped.samples, samples});
        if (const int error = DigestOf(fd.Get(), file)) return drop(error);
        result.notes.emplace_back(kFieldTrack, file.path + ", " + archive::TrackTime(samples) +
                                                   " (" + std::to_string(samples) +
                                                   " samples), audio MD5 " + ripped.md5);
        result.files.push_back(std::move(file));
        shown.filesDone += 1;
        shown.bytesDone =
            before + samples / archive::kSamplesPerSector * archive::kAudioSectorBytes;
    }
    for (const auto& [name, text] :
         {std::pair<std::string, std::string>{archive::kCueSheetName,
                                              archive::CueSheet(toc, read.discId)},
          {archive::kTocName, archive::TocText(toc)}}) {
        archive::ArchivedFile file;
        if (const int error = WriteText(folder.Get(), name, text, file)) {
            ::unlinkat(folder.Get(), name.c_str(), 0);
            result.error = error;
            return result;
        }
        result.files.push_back(std::move(file));
    }
    if (::fsync(folder.Get()) != 0) result.error = errno;
    return result;
}

}  // namespace dravolin::lnx

#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>
#include "archive/BagRecord.h"
#include "archive/RescueRead.h"
#include "platform/linux/drives/CdromIo.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// A disc read once into an image, its sectors straight from the drive or an image file.

// The drive's sectors through O_DIRECT: through the page cache the kernel would read 2048-byte
// sectors in pairs into its 4 KiB pages, so a bad sector would fail its good neighbour too, and
// a sector asked for again would come from memory rather than from the disc.
class DiscSectors : public archive::SectorSource {
  public:
    // `fd` stays the caller's; it is switched to O_DIRECT here. Nullptr when it cannot be.
    static std::unique_ptr<DiscSectors> Open(int fd);
    // An image file's sectors, through the page cache: its file system may not take O_DIRECT,
    // or only in blocks larger than a sector.
    static std::unique_ptr<DiscSectors> OpenFile(int fd);

    bool Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) override;

  private:
    struct FreeBuffer {
        void operator()(std::byte* bytes) const;
    };
    DiscSectors(int fd, std::byte* buffer) : fd_(fd), buffer_(buffer) {}
    int fd_;
    std::unique_ptr<std::byte, FreeBuffer> buffer_;  // page-aligned: kRescueRequestSectors
};

// The image file: what was read, at its offset; the rest stays a hole, read back as zeros.
class ImageFile : public archive::ImageSink {
  public:
    explicit ImageFile(int fd) : fd_(fd) {}
    bool Write(std::uint64_t offset, std::span<const std::byte> bytes) override;
    int Error() const { return error_; }  // errno of the write that failed, else 0

  private:
    int fd_;
    int error_ = 0;
};

// How many sectors of the disc behind `fd` to image: the ISO 9660 volume's own size (which a
// multi-session disc's last session counts from the disc's start) where the table of contents'
// lead-out lies further, since a CD-R written track at once ends with two run-out blocks that
// no drive reads; the lead-out else. Nullopt when the drive reports no lead-out.
std::optional<std::uint64_t> ImageSectors(CdromIo& io, int fd);

// The byte ranges of the disc behind `fd` that hold no data sectors, which a read of the disc as
// data never gets: its audio tracks (an Enhanced CD's first session), and between sessions,
// from the end of each session's ISO 9660 volume (its CD-R run-out blocks, its lead-out) to the
// next track's start (the next lead-in and pre-gap). In disc order, adjacent ones joined. Empty
// for one data session, and where the table of contents cannot be read; a volume that cannot
// be read leaves what follows it to the read.
std::vector<archive::ByteRange> DataGaps(CdromIo& io, int fd);

// Whether DRAVOLIN_ARCHIVE_READ=files asks archive mode to copy the files out of the mounted
// disc, as a plain copy does, rather than read the disc into an image first.
bool FilesFromDiscAsked();

// What an archive whose bags keep `keep` does with the disc in `deviceNode`; `room` says
// whether the target has the bytes it is asked for, and keeps them for this disc. A disc with no
// file system (blank, audio, its descriptors unreadable) is not imaged: each of its sectors would
// fail in turn. A loop device has no sessions, so the kernel would mount a multi-session disc's
// image at its first session, not at the last one that the disc shows: where the libraries
// read the image's last session (`sessionsRead`: the layout helper is there), they take its
// files out of the image (FilesFromLastSession, the session's offset in `sessionOffset`); else
// its files are taken out of the disc itself, its image kept beside them (not read at all where
// only the files are kept). The image and the files taken out of it each take about the disc's
// size: where the target lacks room for both, the files are read from the disc, and the bag
// has no image (NoRoom where it was to keep one), rather than an image that leaves no room for
// them; an image alone is read whatever the room, and keeps what fits.
enum class ImageUse { None, NoRoom, FilesFromImage, FilesFromLastSession, ImageBeside, ImageOnly };
ImageUse ImageUseOf(CdromIo& io, const std::string& deviceNode, archive::BagKeeps keep,
                    const std::function<bool(std::uint64_t bytes)>& room, bool sessionsRead,
                    std::uint64_t* sessionOffset = nullptr);

struct DriveImageResult {
    // errno where the drive or the image could not be opened, the disc's size was not to be
    // had (EIO), the image refused a write or the map could not be saved; 0 else.
    int error = 0;
    std::optional<archive::RescueMap> map;  // what the image holds, once the read began
    archive::RescueResult rescue;
    std::vector<archive::ByteRange> gaps;  // DataGaps: never read, and no damage
    // The map's text at the end, saved or not: where the target filled up, the caller saves it
    // again once it has made room.
    std::string mapText;
    // The read carried on from the earlier map it was given, into the image already there.
    bool readOn = false;
};

// Reads the disc in `deviceNode` into a new image file at `imagePath` (replacing one there),
// its GNU ddrescue map at `mapPath`, saved as the read goes (after each pass and each 32 MiB),
// so that a read cut short leaves a map that says what the image holds. Given the map of an
// `earlier` read of the same disc whose image is at `imagePath` already, the read carries on
// from it, asking the drive only for what it did not rescue; a map of another size is ignored
// and the disc read anew.
DriveImageResult ImageDrive(CdromIo& io, const std::string& deviceNode,
                            const std::string& imagePath, const std::string& mapPath,
                            const archive::RescueHooks& hooks,
                            const archive::RescueMap* earlier = nullptr);

// The same read of the image file at `sourcePath` (an ISO 9660 or UDF image another tool made),
// the whole of it but a last part-sector: a file on a failing disk has unreadable areas too.
DriveImageResult ImageFileImage(const std::string& sourcePath, const std::string& imagePath,
                                const std::string& mapPath, const archive::RescueHooks& hooks,
                                const archive::RescueMap* earlier = nullptr);

// The same read of the first `sectors` sectors of `source`, named `sourceName` in the map, but
// for its `gaps`.
DriveImageResult ReadIntoImage(archive::SectorSource& source, std::uint64_t sectors,
                               std::vector<archive::ByteRange> gaps, const std::string& sourceName,
                               const std::string& imagePath, const std::string& mapPath,
                               const archive::RescueHooks& hooks,
                               const archive::RescueMap* earlier = nullptr);

}  // namespace dravolin::lnx

#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include "archive/AudioDisc.h"
#include "archive/RescueRead.h"

// libcdio's handle, kept out of the headers that include this one.
struct _CdIo;

namespace dravolin::lnx {

// A disc through libcdio: a drive's device node, or a disc image another tool made (a BIN/CUE
// sheet, a cdrdao TOC file), which libcdio's image drivers read as if it were a drive.
class CdioDisc {
  public:
    // Nullptr when libcdio opens no disc there.
    static std::unique_ptr<CdioDisc> Open(const std::string& source);
    ~CdioDisc();
    CdioDisc(const CdioDisc&) = delete;
    CdioDisc& operator=(const CdioDisc&) = delete;

    _CdIo* Get() const { return cdio_; }
    const std::string& Source() const { return source_; }
    // Whether `source` was an image file rather than a drive.
    bool IsImage() const { return image_; }

    // The table of contents with the pre-gaps, the catalogue number, the ISRCs and the CD-TEXT
    // that the drive or the image tells; nullopt when it has none.
    std::optional<archive::DiscToc> ReadToc();

  private:
    struct Opened {};  // only Open makes one

  public:
    CdioDisc(Opened, _CdIo* cdio, std::string source, bool image)
        : cdio_(cdio), source_(std::move(source)), image_(image) {}

  private:
    _CdIo* cdio_;
    std::string source_;
    bool image_;
};

// Whether `path` names a file libcdio's image drivers open as a disc (by its ending: .cue,
// .toc), so that the archiver takes it for a disc image rather than an ISO 9660 or UDF one.
bool IsCdImageName(const std::string& path);

// The MusicBrainz disc ID of the disc's audio (archive::DiscIdInputOf), computed by libdiscid
// from the table alone, no network; empty when the disc has no audio track.
std::string MusicBrainzDiscId(const archive::DiscToc& toc);

// The 2048-byte user data of a disc's data tracks through libcdio (Mode 1 and Mode 2 Form 1),
// for the rescue read into a bag's image: a disc image's data track is read as a drive's is.
class CdioSectors : public archive::SectorSource {
  public:
    explicit CdioSectors(CdioDisc& disc) : disc_(disc) {}
    bool Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) override;

  private:
    CdioDisc& disc_;
};

}  // namespace dravolin::lnx

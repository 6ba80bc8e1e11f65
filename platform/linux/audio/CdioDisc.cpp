#include "platform/linux/audio/CdioDisc.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <discid/discid.h>
#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <mutex>
#include <string_view>
#include "platform/linux/audio/CdText.h"
#include "platform/linux/audio/TocFile.h"

namespace dravolin::lnx {

namespace {

// Strings libcdio allocated are released through it.
struct CdioDiscFreeText {
    void operator()(char* text) const { cdio_free(text); }
};

std::string CdioDiscTake(char* text) {
    const std::unique_ptr<char, CdioDiscFreeText> owned(text);
    return owned ? std::string(owned.get()) : std::string();
}

// libcdio's own handler prints warnings to standard output (where dravolin-archive talks to
// scripts), and ends the whole process with exit() on a message of its error level, which its
// image drivers log for no more than a failed read of the image file. The library's messages
// tell nothing the calls' results do not, so they go nowhere.
void CdioDiscQuietLog(cdio_log_level_t, const char[]) {}

void CdioDiscSilenceLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(CdioDiscQuietLog); });
}

// Whether `text` ends in `ending` (lowercase), whatever the case of its letters.
bool CdioDiscEndsWith(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - ending.size(),
                      [](char wanted, char got) {
                          return std::tolower(static_cast<unsigned char>(got)) == wanted;
                      });
}

// Drives answer for a disc without a catalogue number with thirteen zeros or with nothing
// readable at all; neither names the disc.
std::string CdioDiscCatalogue(std::string mcn) {
    const bool digits = mcn.size() == 13 && std::all_of(mcn.begin(), mcn.end(), [](char c) {
                            return c >= '0' && c <= '9';
                        });
    return digits && mcn != std::string(13, '0') ? mcn : std::string();
}

// Likewise an ISRC: twelve letters and digits (country, registrant, year, designation).
std::string CdioDiscIsrc(std::string isrc) {
    const bool wellFormed = isrc.size() == 12 && std::all_of(isrc.begin(), isrc.end(), [](char c) {
                                return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                            });
    return wellFormed && isrc != std::string(12, '0') ? isrc : std::string();
}

}  // namespace

std::unique_ptr<CdioDisc> CdioDisc::Open(const std::string& source) {
    CdioDiscSilenceLibrary();
    // An image goes to its own driver: left to choose, libcdio would offer the name to every
    // driver in turn, the drives' among them.
    driver_id_t driver = DRIVER_DEVICE;
    if (CdioDiscEndsWith(source, ".cue")) driver = DRIVER_BINCUE;
    if (CdioDiscEndsWith(source, ".toc")) driver = DRIVER_CDRDAO;
    // libcdio reads the TOC file at once and keeps the files it names open.
    const std::unique_ptr<TocForLibcdio> toc =
        driver == DRIVER_CDRDAO ? std::make_unique<TocForLibcdio>(source) : nullptr;
    if (toc && toc->Path().empty()) return nullptr;
    _CdIo* cdio = cdio_open(toc ? toc->Path().c_str() : source.c_str(), driver);
    if (cdio == nullptr) return nullptr;
    return std::make_unique<CdioDisc>(Opened{}, cdio, source, driver != DRIVER_DEVICE);
}

CdioDisc::~CdioDisc() {
    cdio_destroy(cdio_);
}

std::optional<archive::DiscToc> CdioDisc::ReadToc() {
    const track_t first = cdio_get_first_track_num(cdio_);
    const track_t last = cdio_get_last_track_num(cdio_);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first > last) {
        return std::nullopt;
    }
    const lsn_t leadOut = cdio_get_track_lsn(cdio_, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN || leadOut < 0) return std::nullopt;

    archive::DiscToc toc;
    toc.leadOut = static_cast<std::uint32_t>(leadOut);
    toc.mcn = CdioDiscCatalogue(CdioDiscTake(cdio_get_mcn(cdio_)));
    toc.title = CdTextOf(*this, CdTextField::Title, 0);
    toc.performer = CdTextOf(*this, CdTextField::Performer, 0);

    for (track_t number = first; number <= last; ++number) {
        const lsn_t start = cdio_get_track_lsn(cdio_, number);
        const lsn_t next = number < last ? cdio_get_track_lsn(cdio_, number + 1) : leadOut;
        if (start == CDIO_INVALID_LSN || next == CDIO_INVALID_LSN || start < 0 || next < start) {
            return std::nullopt;
        }
        archive::TocTrack track;
        track.number = number;
        track.start = static_cast<std::uint32_t>(start);
        // An Enhanced CD's last audio track thus runs up to its data track, over the first
        // session's lead-out and the second one's lead-in: the length the table gives it.
        track.length = static_cast<std::uint32_t>(next - start);
        track.audio = cdio_get_track_format(cdio_, number) == TRACK_FORMAT_AUDIO;
        const lsn_t pregap = cdio_get_track_pregap_lsn(cdio_, number);
        if (pregap != CDIO_INVALID_LSN && pregap >= 0 && pregap < start) {
            track.pregap = static_cast<std::uint32_t>(start - pregap);
        }
        track.copyPermitted = cdio_get_track_copy_permit(cdio_, number) == CDIO_TRACK_FLAG_TRUE;
        if (track.audio) {
            // A data track's control bits mean other things than emphasis and channels.
            track.preEmphasis = cdio_get_track_preemphasis(cdio_, number) == CDIO_TRACK_FLAG_TRUE;
            track.fourChannel = cdio_get_track_channels(cdio_, number) == 4;
            track.isrc = CdioDiscIsrc(CdioDiscTake(cdio_get_track_isrc(cdio_, number)));
            track.title = CdTextOf(*this, CdTextField::Title, number);
            track.performer = CdTextOf(*this, CdTextField::Performer, number);
        }
        toc.tracks.push_back(std::move(track));
    }
    return toc;
}

bool IsCdImageName(const std::string& path) {
    return CdioDiscEndsWith(path, ".cue") || CdioDiscEndsWith(path, ".toc");
}

std::string MusicBrainzDiscId(const archive::DiscToc& toc) {
    const archive::DiscIdInput input = archive::DiscIdInputOf(toc);
    if (input.offsets.empty() || input.first < 1 || input.last > 99 || input.first > input.last) {
        return {};
    }
    // libdiscid takes the offsets by track number, [0] the lead-out, and hashes all 100; the
    // numbers before the first audio track stay 0.
    std::array<int, 100> offsets{};
    offsets[0] = input.offsets[0];
    for (std::size_t n = 1; n < input.offsets.size(); ++n) {
        const std::size_t number = static_cast<std::size_t>(input.first) - 1 + n;
        if (number >= offsets.size()) return {};
        offsets[number] = input.offsets[n];
    }
    const std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
    if (!disc || !discid_put(disc.get(), input.first, input.last, offsets.data())) return {};
    const char* id = discid_get_id(disc.get());
    return id ? id : "";
}

bool CdioSectors::Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) {
    if (count == 0) return true;
    if (out.size() < std::uint64_t{count} * CDIO_CD_FRAMESIZE || sector > 0x7FFFFFFFu) {
        return false;
    }
    // The 2048 bytes of user data whatever the mode: the drive (or the image driver) tells a
    // Mode 1 sector from a Mode 2 Form 1 one.
    return cdio_read_data_sectors(disc_.Get(), out.data(), static_cast<lsn_t>(sector),
                                  CDIO_CD_FRAMESIZE, count) == DRIVER_OP_SUCCESS;
}

}  // namespace dravolin::lnx

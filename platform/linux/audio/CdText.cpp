#include "platform/linux/audio/CdText.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <string_view>
#include "archive/Utf8Names.h"

namespace dravolin::lnx {

namespace {

// CD-TEXT's default character code is ISO 8859-1; libcdio recodes it to UTF-8 where it was
// built with iconv, and passes the bytes on as they are where it was not.
std::string CdTextUtf8(std::string_view bytes) {
    if (archive::IsUtf8(bytes)) return std::string(bytes);
    std::string utf8;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// libcdio reads the text of a cue sheet or a TOC file as ISO 8859-1, while most tools now
// write UTF-8 there: that comes back encoded twice, no character of it past U+00FF. Taken back
// to one byte a character it is UTF-8 again, which ISO 8859-1 text hardly ever makes.
std::string CdTextUndoneTwice(const std::string& utf8) {
    std::string bytes;
    bool high = false;
    for (std::size_t at = 0; at < utf8.size(); ++at) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) {
            bytes += utf8[at];
        } else if ((byte == 0xC2 || byte == 0xC3) && at + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[++at]);
            bytes += static_cast<char>((byte & 0x03) << 6 | (next & 0x3F));
            high = true;
        } else {
            return utf8;
        }
    }
    return high && archive::IsUtf8(bytes) ? bytes : utf8;
}

}  // namespace

std::string CdTextOf(CdioDisc& disc, CdTextField field, int track) {
    // Read once and kept by the handle.
    const cdtext_t* cdtext = cdio_get_cdtext(disc.Get());
    if (cdtext == nullptr || track < 0 || track > CDIO_CD_MAX_TRACKS) return {};
    const char* text = cdtext_get_const(
        cdtext, field == CdTextField::Title ? CDTEXT_FIELD_TITLE : CDTEXT_FIELD_PERFORMER,
        static_cast<track_t>(track));
    if (text == nullptr) return {};
    const std::string utf8 = CdTextUtf8(text);
    return disc.IsImage() ? CdTextUndoneTwice(utf8) : utf8;
}

}  // namespace dravolin::lnx

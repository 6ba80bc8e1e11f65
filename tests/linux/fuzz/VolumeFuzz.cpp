// Feeds arbitrary bytes, placed where a disc's volume descriptors are, to the volume reader: our
// fingerprint of the descriptors, and the label libblkid reads from the same bytes in a file.
// Nothing may be read out of bounds, and what is reported must be usable as it stands.
#include <sys/mman.h>
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/drives/VolumeReader.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Well-formed UTF-8 as the Unicode standard defines it (its table of well-formed byte
// sequences): no overlong form, no surrogate, nothing above U+10FFFF, no stray continuation
// byte, no sequence cut short.
bool ValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;   // else overlong
            if (lead == 0xED) high = 0x9F;  // else a surrogate
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;   // else overlong
            if (lead == 0xF4) high = 0x8F;  // else above U+10FFFF
        } else {
            return false;  // a continuation byte, C0, C1, F5..FF
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

// The check itself must be right, or the invariant it guards means nothing.
void CheckTheChecker() {
    using namespace std::string_view_literals;
    for (const std::string_view good :
         {""sv, "plain"sv, "\xC2\x80"sv, "\xDF\xBF"sv, "\xE0\xA0\x80"sv, "\xED\x9F\xBF"sv,
          "\xEE\x80\x80"sv, "\xEF\xBF\xBF"sv, "\xF0\x90\x80\x80"sv, "\xF4\x8F\xBF\xBF"sv,
          "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA"sv, "a\0b"sv}) {
        Check(ValidUtf8(good));
    }
    for (const std::string_view bad :
         {"\x80"sv,
          "a\xBF"
          "b"sv,
          "\xC0\x80"sv, "\xC1\xBF"sv, "\xE0\x80\x80"sv, "\xE0\x9F\xBF"sv, "\xF0\x80\x80\x80"sv,
          "\xF0\x8F\xBF\xBF"sv, "\xED\xA0\x80"sv, "\xED\xBF\xBF"sv, "\xF4\x90\x80\x80"sv,
          "\xF5\x80\x80\x80"sv, "\xFF"sv, "\xC2"sv, "\xE1\x80"sv, "\xF1\x80\x80"sv, "\xC2\x41"sv,
          "\xE1\x80\xC0"sv}) {
        Check(!ValidUtf8(bad));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CheckTheChecker();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravolin::lnx;
    // The input lands at sector 16 (the descriptors) and, past its first 4 KiB, at sector 256
    // (the UDF anchor), so both readers see fuzzed bytes where they look first.
    constexpr std::size_t kSector = 2048;
    std::vector<std::uint8_t> image(300 * kSector, 0);
    const std::size_t head = std::min<std::size_t>(size, 4096);
    std::memcpy(image.data() + 16 * kSector, data, head);
    if (size > head) {
        const std::size_t tail = std::min(size - head, image.size() - 256 * kSector);
        std::memcpy(image.data() + 256 * kSector, data + head, tail);
    }
    MemoryDiscBytes disc(image);
    if (const auto serial = ReadDiscFingerprint(disc)) {
        Check(*serial != 0 && *serial != 0xFFFFFFFFu);
    }
    // A short image must never be read past its end.
    MemoryDiscBytes shortDisc({data, size});
    ReadDiscFingerprint(shortDisc, size % 4 * kSector);
    const std::string digest = ReadDiscDigest(disc);
    Check(digest.empty() || digest.size() == 64);
    ReadDiscDigest(shortDisc, size % 4 * kSector);

    // The same image as a file, the way a drive is read: one file for the whole run.
    static const UniqueFd file(::memfd_create("volume_fuzz", MFD_CLOEXEC));
    Check(file.Valid());
    Check(::pwrite(file.Get(), image.data(), image.size(), 0) ==
          static_cast<ssize_t>(image.size()));
    if (const auto identity = ReadVolumeIdentity(file.Get())) {
        Check(identity->serial == ReadDiscFingerprint(disc));
        Check(identity->label.find('\0') == std::string::npos);
        Check(ValidUtf8(identity->label));
        Check(identity->type == "iso9660" || identity->type == "udf");
    }
    return 0;
}

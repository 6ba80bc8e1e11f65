// Feeds arbitrary bytes, placed where a disc's volume descriptors are, to the volume reader.
// It must never read out of bounds, and what it reports must be usable as it stands.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>
#include "platform/linux/VolumeReader.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

bool ValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

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
    const auto identity = ReadVolumeIdentity(disc);
    if (identity) {
        Check(identity->serial != 0 && identity->serial != 0xFFFFFFFFu);
        Check(identity->label.find('\0') == std::string::npos);
        Check(ValidUtf8(identity->label));
        Check(identity->iso9660 || identity->udf);
    }
    // A short image must never be read past its end.
    MemoryDiscBytes shortDisc({data, size});
    ReadVolumeIdentity(shortDisc, size % 4 * kSector);
    return 0;
}

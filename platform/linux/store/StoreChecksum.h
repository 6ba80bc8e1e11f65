#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace dravolin::lnx {

// CRC-32 (the polynomial of zlib and PNG) of `bytes`.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// The CRC-32 of any stretch of one buffer, each in a bounded number of steps whatever its
// length: the checksum register is kept after every 64th byte, and the register of a stretch
// follows from those at its two ends. A reader that tries every record marker of a damaged
// file, each claiming a body up to the end, thus works in proportion to the file's size.
class StretchChecksums {
  public:
    // Reads the whole buffer once; adds the steps taken to `steps`. The buffer must outlive
    // this object.
    StretchChecksums(std::span<const std::uint8_t> bytes, std::uint64_t& steps);

    // CRC-32 of the `length` bytes at `from`, which must lie within the buffer.
    std::uint32_t Of(std::size_t from, std::size_t length) const;

  private:
    std::uint32_t RegisterAt(std::size_t at) const;

    std::span<const std::uint8_t> bytes_;
    std::uint64_t& steps_;
    std::vector<std::uint32_t> saved_;  // the register after 0, 64, 128... bytes
};

}  // namespace dravolin::lnx

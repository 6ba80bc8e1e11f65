#include "platform/linux/store/StoreChecksum.h"

#include <array>

namespace dravolin::lnx {

namespace {

// Polynomials over GF(2) in CRC-32's reflected bit order: bit 31 is x^0, bit 0 is x^31.
constexpr std::uint32_t kPolynomial = 0xEDB88320u;
constexpr std::uint32_t kOne = 1u << 31;
constexpr std::uint32_t kInitial = 0xFFFFFFFFu;
constexpr std::size_t kEvery = 64;
// A multiplication below takes at most one step per bit.
constexpr std::uint64_t kMultiplySteps = 32;

constexpr std::array<std::uint32_t, 256> MakeByteTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (kPolynomial & (0u - (c & 1u)));
        table[i] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kByteTable = MakeByteTable();

std::uint32_t Advance(std::uint32_t state, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        state = kByteTable[(state ^ bytes[i]) & 0xFFu] ^ (state >> 8);
    }
    return state;
}

// a·b modulo the polynomial.
constexpr std::uint32_t Multiply(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (std::uint32_t bit = kOne; bit != 0; bit >>= 1) {
        if (a & bit) product ^= b;
        if ((a & (bit - 1)) == 0) break;
        b = (b >> 1) ^ (kPolynomial & (0u - (b & 1u)));  // b·x
    }
    return product;
}

// x^(2^k) modulo the polynomial, for every k up to 8·2^64 bits.
constexpr std::array<std::uint32_t, 67> MakePowers() {
    std::array<std::uint32_t, 67> powers{};
    powers[0] = kOne >> 1;  // x
    for (std::size_t k = 1; k < powers.size(); ++k) {
        powers[k] = Multiply(powers[k - 1], powers[k - 1]);
    }
    return powers;
}
constexpr std::array<std::uint32_t, 67> kPowers = MakePowers();

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    return ~Advance(kInitial, bytes.data(), bytes.size());
}

StretchChecksums::StretchChecksums(std::span<const std::uint8_t> bytes, std::uint64_t& steps)
    : bytes_(bytes), steps_(steps) {
    saved_.reserve(bytes.size() / kEvery + 1);
    std::uint32_t state = kInitial;
    saved_.push_back(state);
    for (std::size_t at = 0; bytes.size() - at >= kEvery; at += kEvery) {
        state = Advance(state, bytes.data() + at, kEvery);
        saved_.push_back(state);
    }
    steps_ += bytes.size();
}

std::uint32_t StretchChecksums::RegisterAt(std::size_t at) const {
    const std::size_t from = at / kEvery * kEvery;
    steps_ += at - from;
    return Advance(saved_[at / kEvery], bytes_.data() + from, at - from);
}

std::uint32_t StretchChecksums::Of(std::size_t from, std::size_t length) const {
    // Feeding n bytes multiplies the register by x^(8n) and adds what those bytes alone give
    // from zero. So the register of the stretch, started from the initial value, is the
    // register at its end less what the register at its start became over the stretch, plus
    // what the initial value became.
    std::uint32_t shift = kOne;  // x^(8·length), built from the powers x^(2^k), k >= 3
    for (std::size_t k = 3, n = length; n != 0; n >>= 1, ++k) {
        if (n & 1u) {
            shift = Multiply(kPowers[k], shift);
            steps_ += kMultiplySteps;
        }
    }
    steps_ += kMultiplySteps;
    const std::uint32_t start = RegisterAt(from);
    const std::uint32_t end = RegisterAt(from + length);
    return ~(end ^ Multiply(shift, start ^ kInitial));
}

}  // namespace dravolin::lnx

// SHA-256 as the archive copy computes it: piece by piece, as the data stream past.
#include <gtest/gtest.h>
#include <string>
#include "platform/linux/io/Sha256.h"

namespace dravolin::lnx::test {
namespace {

struct DigestCase {
    const char* title;
    std::string bytes;
    std::size_t piece;  // given in pieces of this size
    const char* digest;
};

void PrintTo(const DigestCase& c, std::ostream* out) {
    *out << c.title;
}

class Sha256Digests : public ::testing::TestWithParam<DigestCase> {};

TEST_P(Sha256Digests, MatchTheStandardVectorsHoweverTheBytesArrive) {
    const DigestCase& c = GetParam();
    Sha256 hash;
    hash.Update("left over from a cancelled file", 31);
    hash.Finish();
    for (std::size_t at = 0; at < c.bytes.size(); at += c.piece) {
        hash.Update(c.bytes.data() + at, std::min(c.piece, c.bytes.size() - at));
    }
    EXPECT_EQ(hash.Finish(), c.digest);
    EXPECT_EQ(Sha256Of(c.bytes), c.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Sha256Digests,
    ::testing::Values(
        DigestCase{"Empty", "", 1,
                   "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        DigestCase{"Abc", "abc", 1,
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        DigestCase{"TwoBlocksInOddPieces",
                   "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 7,
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        DigestCase{"MillionAsInLargePieces", std::string(1000000, 'a'), 65536,
                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const auto& info) { return info.param.title; });

}  // namespace
}  // namespace dravolin::lnx::test

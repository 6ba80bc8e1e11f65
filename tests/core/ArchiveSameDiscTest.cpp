#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include "archive/SameDisc.h"

namespace dravolin::archive {
namespace {

LogRow Bag(std::uint32_t fingerprint, DiscResult result, std::string bagFolder) {
    LogRow row;
    row.fingerprint = fingerprint;
    row.result = result;
    row.bagFolder = std::move(bagFolder);
    return row;
}

struct SameDiscCase {
    const char* name;
    std::vector<LogRow> log;
    std::uint32_t fingerprint;
    bool copy;
    std::string archivedIn;
};

void PrintTo(const SameDiscCase& c, std::ostream* os) {
    *os << c.name;
}

class SameDisc : public ::testing::TestWithParam<SameDiscCase> {};

TEST_P(SameDisc, IsCopiedUntilItHasACompleteBag) {
    const SameDiscCase& c = GetParam();
    const DiscDecision decision = Decide(c.log, c.fingerprint);
    EXPECT_EQ(decision.copy, c.copy);
    EXPECT_EQ(decision.archivedIn, c.archivedIn);
}

constexpr std::uint32_t kDisc = 0x1a2b3c4d;

INSTANTIATE_TEST_SUITE_P(
    Archive, SameDisc,
    ::testing::Values(
        SameDiscCase{"EmptyLog", {}, kDisc, true, ""},
        SameDiscCase{"CompleteBag", {Bag(kDisc, DiscResult::Complete, "A")}, kDisc, false, "A"},
        SameDiscCase{"OtherDiscsOnly",
                     {Bag(kDisc + 1, DiscResult::Complete, "A"), Bag(0, DiscResult::Complete, "B")},
                     kDisc,
                     true,
                     ""},
        SameDiscCase{"OnlyIncompleteBags",
                     {Bag(kDisc, DiscResult::Incomplete, "A (incomplete)"),
                      Bag(kDisc, DiscResult::TargetFull, "A (2) (incomplete)")},
                     kDisc,
                     true,
                     ""},
        SameDiscCase{"CompleteAfterIncomplete",
                     {Bag(kDisc, DiscResult::Incomplete, "A (incomplete)"),
                      Bag(kDisc, DiscResult::Complete, "A")},
                     kDisc,
                     false,
                     "A"},
        SameDiscCase{"NoBagRows",
                     {Bag(kDisc, DiscResult::NoFileSystem, ""), Bag(kDisc, DiscResult::Failed, ""),
                      Bag(kDisc, DiscResult::AlreadyArchived, "A")},
                     kDisc,
                     true,
                     ""},
        SameDiscCase{"UnknownFingerprint", {Bag(0, DiscResult::Complete, "A")}, 0, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::archive

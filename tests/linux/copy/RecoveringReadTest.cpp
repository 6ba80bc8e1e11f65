// The archive copy's read: past unreadable regions of a scratched disc, with zeros exactly
// where it says, and the digest of what it wrote.
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <filesystem>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/copy/RecoveringRead.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {
namespace {

constexpr std::uint64_t kMiB = 1u << 20;

struct RecoveryCase {
    const char* title;
    std::uint64_t size;
    std::vector<ByteRange> unreadable;  // sectors no read gets past
    int transientFailures;              // reads that fail before any succeeds
    std::vector<ByteRange> damaged;     // what the copy must record, and hold zeros in
    int reads;                          // how many reads it takes
    std::uint64_t writeLimit = ~std::uint64_t{0};
    std::uint64_t onDisc = ~std::uint64_t{0};  // the file's own length, when not `size`
};

void PrintTo(const RecoveryCase& c, std::ostream* out) {
    *out << c.title;
}

class RecoveringReads : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(RecoveringReads, ZerosExactlyInTheRecordedRangesAndTheDigestOfWhatWasWritten) {
    const RecoveryCase& c = GetParam();
    TempFolder temp;
    const std::string original = Pattern(static_cast<std::size_t>(c.size), 5);
    WriteFile(temp / "scratched.bin", original.substr(0, static_cast<std::size_t>(c.onDisc)));
    FaultyIo io;
    io.failReadsOf = "scratched.bin";
    io.unreadable = c.unreadable;
    io.readFailures = c.transientFailures;
    io.writeLimit = c.writeLimit;
    const UniqueFd in(::open((temp / "scratched.bin").c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd out(::open((temp / "copy.bin").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(in && out);
    std::uint64_t reported = 0;

    RecoveringRead reader(io);
    const RecoveringRead::Result result =
        reader.Copy(in.Get(), out.Get(), c.size, [&](std::uint64_t bytes) {
            reported += bytes;
            return true;
        });

    EXPECT_EQ(io.reads.load(), c.reads);
    if (c.writeLimit != ~std::uint64_t{0}) {
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.errorNumber, ENOSPC);
        return;
    }
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.damaged, c.damaged);
    EXPECT_EQ(reported, c.size);
    std::string expected = original;
    for (const ByteRange& range : c.damaged) {
        expected.replace(range.begin, range.end - range.begin, range.end - range.begin, '\0');
    }
    const std::string written = ReadFile(temp / "copy.bin");
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
    std::string sum;
    ASSERT_EQ(RunProgram({"sha256sum", temp / "copy.bin"}, &sum), 0);
    EXPECT_EQ(sum.substr(0, 64), result.sha256);
}

// 300,000 bytes: one read of the whole file, then steps of 32 KiB (16 sectors) where it fails.
INSTANTIATE_TEST_SUITE_P(
    Table, RecoveringReads,
    ::testing::Values(
        RecoveryCase{"ReadsAtOnce", 300000, {}, 0, {}, 1}, RecoveryCase{"Empty", 0, {}, 0, {}, 0},
        RecoveryCase{"OneBadSectorMidFile", 300000, {{204800, 206848}}, 0, {{196608, 229376}}, 13},
        RecoveryCase{"BadAtTheStart", 300000, {{0, 2048}}, 0, {{0, 32768}}, 13},
        RecoveryCase{"BadAtTheEnd", 300000, {{299008, 300000}}, 0, {{294912, 300000}}, 13},
        RecoveryCase{
            "SpansStepsJoinedInOneRange", 300000, {{40000, 110000}}, 0, {{32768, 131072}}, 15},
        RecoveryCase{"TwoRegionsTwoRanges",
                     300000,
                     {{0, 2048}, {270336, 272384}},
                     0,
                     {{0, 32768}, {262144, 294912}},
                     14},
        RecoveryCase{"WholeFileUnreadable", 300000, {{0, 300000}}, 0, {{0, 300000}}, 22},
        RecoveryCase{"TransientErrorSucceedsOnRetry", 300000, {}, 1, {}, 2},
        RecoveryCase{"FailsTwiceThenReadsInSteps", 300000, {}, 2, {}, 12},
        // Only the megabyte whose read failed is read in steps; then large reads again.
        RecoveryCase{"LargeFileBackToLargeReads",
                     3 * kMiB,
                     {{kMiB + 102400, kMiB + 104448}},
                     0,
                     {{kMiB + 98304, kMiB + 131072}},
                     37},
        RecoveryCase{"TargetFullIsNoDamage", 300000, {}, 0, {}, 1, 100000},
        // What the reads gave is hashed, then the zeros after it; never the bytes asked for.
        RecoveryCase{
            "EndsBeforeItsSize", 300000, {}, 0, {{295000, 300000}}, 2, ~std::uint64_t{0}, 295000}),
    [](const auto& info) { return info.param.title; });

std::size_t ThreadsOfThisProcess() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// A large file is hashed on a thread of its own: a file cancelled half-way leaves nothing of
// itself in the next file's digest, and the thread goes with the reader.
TEST(RecoveringReadThread, CancelledFileLeavesNothingInTheNextDigestNorAThreadBehind) {
    TempFolder temp;
    const std::string cancelled = Pattern(3 * kMiB, 6), whole = Pattern(3 * kMiB + 5, 7);
    WriteFile(temp / "cancelled.bin", cancelled);
    WriteFile(temp / "whole.bin", whole);
    const UniqueFd in1(::open((temp / "cancelled.bin").c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd in2(::open((temp / "whole.bin").c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd out1(::open((temp / "1").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    const UniqueFd out2(::open((temp / "2").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(in1 && in2 && out1 && out2);
    CopyIo io;
    const std::size_t before = ThreadsOfThisProcess();
    std::size_t during = 0;
    {
        RecoveringRead reader(io);
        int blocks = 0;
        const RecoveringRead::Result first = reader.Copy(
            in1.Get(), out1.Get(), cancelled.size(), [&](std::uint64_t) { return ++blocks < 2; });
        EXPECT_TRUE(first.cancelled);
        const RecoveringRead::Result second =
            reader.Copy(in2.Get(), out2.Get(), whole.size(), [](std::uint64_t) { return true; });
        ASSERT_TRUE(second.ok);
        EXPECT_EQ(second.sha256, Sha256Of(whole));
        during = ThreadsOfThisProcess();
    }
    EXPECT_GT(during, before);
    EXPECT_LT(ThreadsOfThisProcess(), during);
}

}  // namespace
}  // namespace dravolin::lnx::test

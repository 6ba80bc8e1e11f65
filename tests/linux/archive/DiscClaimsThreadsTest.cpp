// Two drives claiming discs in one target folder at once: the same disc waits for the claim
// to be let go, another disc does not wait at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include "LinuxTestSupport.h"
#include "platform/linux/archive/TargetClaims.h"

namespace dravolin::lnx::test {
namespace {

const std::string kDisc = std::string(63, 'a') + "1";

// Whether the kernel lists a claim on the file `inode` that waits for another ("->" in
// /proc/locks): the second drive is then surely blocked, with no guess at how long it takes.
bool AClaimWaits(ino_t inode) {
    std::ifstream locks("/proc/locks");
    const std::string mark = ":" + std::to_string(inode) + " ";
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos && line.find(mark) != std::string::npos) {
            return true;
        }
    }
    return false;
}

template <typename Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

struct ClaimCase {
    const char* name;
    std::string second;  // the disc the other drive claims
    bool waits;
};

void PrintTo(const ClaimCase& c, std::ostream* os) {
    *os << c.name;
}

class DiscClaims : public ::testing::TestWithParam<ClaimCase> {};

TEST_P(DiscClaims, TheSameDiscWaitsForTheFirstDrivesClaim) {
    const ClaimCase& c = GetParam();
    TempFolder temp;
    const std::string target = temp / "bags";
    MakeFolder(target);
    UniqueFd first = ClaimDisc(target, kDisc);
    ASSERT_TRUE(first.Valid());
    struct stat info {};
    ASSERT_EQ(::fstat(first.Get(), &info), 0);

    std::atomic<bool> claimed = false;
    std::thread other([&] {
        const UniqueFd second = ClaimDisc(target, c.second);
        EXPECT_TRUE(second.Valid());
        claimed = true;
    });
    if (c.waits) {
        EXPECT_TRUE(WaitFor([&] { return AClaimWaits(info.st_ino); }));
        EXPECT_FALSE(claimed);
        first = UniqueFd(-1);
    }
    EXPECT_TRUE(WaitFor([&] { return claimed.load(); }));
    first = UniqueFd(-1);  // a drive that waits wrongly still ends
    other.join();
}

INSTANTIATE_TEST_SUITE_P(Archive, DiscClaims,
                         ::testing::Values(ClaimCase{"SameDisc", kDisc, true},
                                           ClaimCase{"OtherDisc", std::string(63, 'b') + "1",
                                                     false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::lnx::test

// A pass of the copy cycle can run inside another one: the folder preparation's prompt runs a
// message loop that keeps delivering timer ticks. These tests run such nested passes from the
// fake preparation prompt.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>
#include "engine/DriveList.h"
#include "tests/core/DialogFixture.h"

namespace dravolin {
namespace {

using test::DialogFixture;
using test::Disc;
using test::kStatusCopying;
using test::kStatusEjecting;
using test::kStatusWaiting;
using ::testing::Each;
using ::testing::ElementsAre;

// A prompt whose message loop delivers `ticks` timer ticks, each after the workers of an
// interval ran, for prompts up to `maxDepth` deep (deeper prompts answer at once).
struct NestedTicks {
    explicit NestedTicks(DialogFixture& fixture) : f(fixture) {}
    DialogFixture& f;
    int ticks = 1;
    int maxDepth = 1;
    std::function<void()> everyTick;
    int depth = 0;

    void operator()() {
        if (depth >= maxDepth) return;
        ++depth;
        for (int i = 0; i < ticks; ++i) {
            f.fake.threads.FinishAll();
            f.Poll();
            if (everyTick) everyTick();
        }
        --depth;
    }
};

int CopiesFrom(DialogFixture& f, char letter) {
    int count = 0;
    for (const std::string& line : f.fake.log.Matching("SHFileOperationA")) {
        if (line.find(std::string(" ") + letter + ":\\*.*") != std::string::npos) ++count;
    }
    return count;
}

class SuspendedPassDepth : public ::testing::TestWithParam<int> {};

// Both drives find their disc in the same tick; every prompt runs nested passes up to the
// given depth. Each drive still gets exactly one copy worker, whose handle stays in `worker`.
TEST_P(SuspendedPassDepth, GivesEveryDriveExactlyOneCopyWorker) {
    DialogFixture f;
    f.OpenWithDrives("DE");
    f.Machine().InsertDisc('D', Disc("ONE", 1, {{"one.txt", "1"}}));
    f.Machine().InsertDisc('E', Disc("TWO", 2, {{"two.txt", "2"}}));
    f.Tick(0);
    f.Tick(1);
    f.Poll();
    f.fake.threads.FinishAll();
    auto prompt = std::make_shared<NestedTicks>(f);
    prompt->maxDepth = GetParam();
    f.Machine().SetPreparePrompt([prompt] { (*prompt)(); });

    f.Poll();

    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_EQ(f.Status(1), kStatusCopying);
    EXPECT_EQ(f.ThreadCount(), 4);
    EXPECT_EQ(f.fake.threads.Live(), 2);
    ASSERT_NE(f.Entry(0).worker, nullptr);
    ASSERT_NE(f.Entry(1).worker, nullptr);
    EXPECT_THAT(f.dialog.m_rowsInPass, Each(false));

    f.Machine().SetPreparePrompt(nullptr);
    f.fake.threads.FinishAll();
    EXPECT_EQ(CopiesFrom(f, 'D'), 1);
    EXPECT_EQ(CopiesFrom(f, 'E'), 1);
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusEjecting);
    EXPECT_EQ(f.Status(1), kStatusEjecting);
    // Every handle was kept until its thread had ended, then closed once.
    for (int n = 0; n < f.ThreadCount(); ++n) {
        EXPECT_TRUE(f.fake.threads.At(n).handleClosed) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, SuspendedPassDepth, ::testing::Values(1, 2),
                         [](const auto& info) { return "Depth" + std::to_string(info.param); });

TEST(SuspendedPass, OtherDrivesKeepCyclingWhileAPromptIsOpen) {
    DialogFixture f;
    f.OpenWithDrives("DE");
    f.Machine().InsertDisc('E', Disc("TWO", 2, {{"two.txt", "2"}}));
    f.Tick(0);
    f.Tick(1);
    f.Poll();
    f.WorkersThenPoll();  // D waits for a disc, E copies
    ASSERT_EQ(f.Status(1), kStatusCopying);
    const int eCopy = f.ThreadCount() - 1;

    std::vector<std::string> dSeen;
    std::vector<std::string> eSeen;
    auto prompt = std::make_shared<NestedTicks>(f);
    prompt->ticks = 3;
    prompt->everyTick = [&] {
        dSeen.push_back(f.Status(0));
        eSeen.push_back(f.Status(1));
    };
    f.Machine().SetPreparePrompt([prompt] { (*prompt)(); });
    f.Machine().InsertDisc('D', Disc("ONE", 1, {{"one.txt", "1"}}));

    f.Poll();  // D finds its disc and prompts; E goes on inside the prompt

    EXPECT_THAT(dSeen, Each(std::string(kStatusWaiting)));
    EXPECT_THAT(eSeen, ElementsAre(kStatusEjecting, kStatusWaiting, kStatusWaiting));
    EXPECT_TRUE(f.fake.threads.At(eCopy).handleClosed);
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\two.txt"), "2");
    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_EQ(f.Status(1), kStatusWaiting);
    EXPECT_EQ(f.fake.threads.Live(), 1);
    EXPECT_EQ(CopiesFrom(f, 'D'), 0);

    f.Machine().SetPreparePrompt(nullptr);
    f.fake.threads.FinishAll();
    EXPECT_EQ(CopiesFrom(f, 'D'), 1);
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\one.txt"), "1");
}

TEST(SuspendedPass, ARowIsFreeAgainWhenThePassUnwinds) {
    DialogFixture f;
    f.OpenWithDrives("E");
    f.Machine().InsertDisc('E', Disc("DATA", 1, {{"a.txt", "A"}}));
    f.Tick(0);
    f.Poll();
    f.fake.threads.FinishAll();
    f.Machine().SetPreparePrompt([] { throw std::runtime_error("out of memory"); });

    EXPECT_THROW(f.Poll(), std::runtime_error);
    EXPECT_THAT(f.dialog.m_rowsInPass, Each(false));

    f.Machine().SetPreparePrompt(nullptr);
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_NE(f.Entry(0).worker, nullptr);
}

}  // namespace
}  // namespace dravolin

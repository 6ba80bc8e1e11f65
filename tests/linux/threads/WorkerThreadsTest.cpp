// Worker threads: ended flag, cooperative termination, and the simple services.
#include <gtest/gtest.h>
#include <chrono>
#include <thread>
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/threads/LinuxThreads.h"
#include "platform/linux/QuietServices.h"

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;

TEST(Workers, HasEndedTurnsTrueOnlyAfterTheJob) {
    LinuxThreads threads;
    std::atomic<bool> release{false};
    auto worker = threads.Create([&] {
        while (!release) std::this_thread::yield();
        return 0u;
    });
    ASSERT_TRUE(worker);
    EXPECT_FALSE(worker->HasEnded());
    release = true;
    EXPECT_TRUE(threads.WaitForAll(std::chrono::steady_clock::now() + 30s));
    EXPECT_TRUE(worker->HasEnded());
}

TEST(Workers, TerminateReachesTheJobsCancelFlagOnly) {
    LinuxThreads threads;
    std::atomic<bool> sawCancel{false}, started{false};
    auto worker = threads.Create([&] {
        started = true;
        while (!CancelRequested()) std::this_thread::yield();
        sawCancel = true;
        return 0u;
    });
    ASSERT_TRUE(worker);
    while (!started) std::this_thread::yield();
    EXPECT_FALSE(CancelRequested()) << "the flag leaked to the creating thread";
    worker->Terminate(1);
    EXPECT_TRUE(threads.WaitForAll(std::chrono::steady_clock::now() + 30s));
    EXPECT_TRUE(sawCancel);
}

TEST(Workers, DroppingTheHandleNeverWaitsForTheThread) {
    LinuxThreads threads;
    std::atomic<bool> release{false};
    auto worker = threads.Create([&] {
        while (!release) std::this_thread::yield();
        return 0u;
    });
    worker.reset();  // returns at once although the job still runs
    EXPECT_FALSE(threads.WaitForAll(std::chrono::steady_clock::now()));
    release = true;
    EXPECT_TRUE(threads.WaitForAll(std::chrono::steady_clock::now() + 30s));
}

TEST(Workers, AJobThatThrowsStillEnds) {
    LinuxThreads threads;
    auto worker = threads.Create([]() -> std::uint32_t { throw std::runtime_error("boom"); });
    EXPECT_TRUE(threads.WaitForAll(std::chrono::steady_clock::now() + 30s));
    EXPECT_TRUE(worker->HasEnded());
}

TEST(QuietServices, Utf8HasNoLeadBytes) {
    Utf8CodePage codePage;
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_FALSE(codePage.IsLeadByte(static_cast<unsigned char>(byte)));
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

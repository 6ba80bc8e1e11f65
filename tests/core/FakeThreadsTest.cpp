// Thread lifecycle as the copy cycle sees it: pending until the test runs it, waits, ends,
// termination and handle closing.
#include <gtest/gtest.h>
#include <memory>
#include "platform/fake/FakeThreads.h"

namespace dravolin::fake {
namespace {

using State = FakeThreads::State;

TEST(FakeThreads, RunsJobsOnlyWhenTold) {
    CallLog log;
    FakeThreads threads(&log);
    int runs = 0;
    auto handle = threads.Create([&] {
        ++runs;
        return 7u;
    });
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(handle->HasEnded());
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(threads.Live(), 1);

    threads.KeepRunning(0);
    EXPECT_EQ(threads.At(0).state, State::Running);
    threads.FinishAll();  // a running thread is not pending
    EXPECT_EQ(runs, 0);

    threads.Finish(0);
    threads.Finish(0);  // an ended thread does not run again
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(handle->HasEnded());
    EXPECT_EQ(threads.At(0).state, State::Ended);
    EXPECT_EQ(threads.At(0).exitCode, 7u);
    EXPECT_EQ(threads.Live(), 0);
    handle.reset();
    EXPECT_TRUE(threads.At(0).handleClosed);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"CreateThread 0", "WaitForSingleObject 0 0",
                                        "WaitForSingleObject 0 0", "CloseHandle thread 0"}));
}

TEST(FakeThreads, TerminateStopsWithoutRunning) {
    CallLog log;
    FakeThreads threads(&log);
    bool ran = false;
    auto handle = threads.Create([&] {
        ran = true;
        return 0u;
    });
    handle->Terminate(1);
    threads.FinishAll();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(handle->HasEnded());
    EXPECT_EQ(threads.At(0).state, State::Terminated);
    EXPECT_EQ(threads.At(0).exitCode, 1u);
    EXPECT_EQ(log.IndexOf("TerminateThread 0 1"), 1);
}

TEST(FakeThreads, AThreadThatCannotBeKilledKeepsItsJobAndRunsLater) {
    CallLog log;
    FakeThreads threads(&log);
    threads.CannotKill();
    auto held = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = held;
    bool ran = false;
    auto handle = threads.Create([&ran, held = std::move(held)] {
        ran = true;
        return 0u;
    });
    handle->Terminate(1);
    EXPECT_FALSE(handle->HasEnded());
    EXPECT_EQ(threads.At(0).state, State::Pending);
    EXPECT_FALSE(threads.At(0).exitCode.has_value());
    handle.reset();
    EXPECT_FALSE(watch.expired());
    threads.FinishAll();
    EXPECT_TRUE(ran);
    EXPECT_EQ(threads.At(0).state, State::Ended);
    EXPECT_EQ(threads.At(0).exitCode, 0u);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(log.IndexOf("TerminateThread 0 1"), 1);
}

TEST(FakeThreads, FinishAllPicksUpThreadsStartedByJobs) {
    CallLog log;
    FakeThreads threads(&log);
    std::vector<std::unique_ptr<WorkerThread>> handles;
    std::vector<int> order;
    handles.push_back(threads.Create([&] {
        order.push_back(0);
        handles.push_back(threads.Create([&] {
            order.push_back(2);
            return 0u;
        }));
        return 0u;
    }));
    handles.push_back(threads.Create([&] {
        order.push_back(1);
        return 0u;
    }));
    EXPECT_EQ(threads.Live(), 2);
    threads.FinishAll();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(threads.Live(), 0);
}

TEST(FakeThreads, FailedCreationsAndClosedHandles) {
    CallLog log;
    FakeThreads threads(&log);
    threads.FailCreates(1);
    EXPECT_EQ(threads.Create([] { return 0u; }), nullptr);
    auto handle = threads.Create([] { return 0u; });
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(threads.Count(), 1);
    handle.reset();  // a closed handle no longer counts, though the thread is pending
    EXPECT_EQ(threads.Live(), 0);
    EXPECT_EQ(threads.At(0).state, State::Pending);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"CreateThread failed", "CreateThread 0",
                                                     "CloseHandle thread 0"}));
}

}  // namespace
}  // namespace dravolin::fake

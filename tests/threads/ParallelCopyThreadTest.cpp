// The copy cycle with its workers on real threads: two drives copy at the same time while the
// UI thread keeps polling. Built for ThreadSanitizer (the tsan preset).
#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include "engine/CopyCycle.h"
#include "tests/core/DialogFixture.h"
#include "tests/threads/StdThreads.h"

namespace dravolin {
namespace {

using Clock = std::chrono::steady_clock;
using test::DialogFixture;
using test::Disc;
using test::kStatusCopying;
using test::kStatusEjecting;
using test::kStatusWaiting;
using test::StdThreads;

// Copies wait inside the operation until released, so the test can see them run side by side
// and poll meanwhile; a deadline keeps a broken cycle from hanging the test.
class GatedCopy : public ShellCopy {
  public:
    GatedCopy(std::shared_ptr<ShellCopy> inner, Clock::time_point deadline)
        : inner_(std::move(inner)), deadline_(deadline) {}

    int FileOperation(const Operation& op) override {
        {
            std::unique_lock lock(mutex_);
            ++inside_;
            changed_.notify_all();
            changed_.wait_until(lock, deadline_, [&] { return released_; });
        }
        return inner_->FileOperation(op);
    }
    bool WaitUntilInside(int copies) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, deadline_, [&] { return inside_ >= copies; });
    }
    void Release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }

  private:
    std::shared_ptr<ShellCopy> inner_;
    Clock::time_point deadline_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int inside_ = 0;
    bool released_ = false;
};

TEST(ThreadedCycle, TwoDrivesCopyInParallelWhileTheUiThreadPolls) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    StdThreads threads;
    DialogFixture f(fake::FakeResources::Language::English, &threads);
    auto copy = std::make_shared<GatedCopy>(f.fake.machine, deadline);
    f.platform.workers.copy = copy;
    test::ReleaseAndJoin<GatedCopy> joinOnExit{threads, *copy};

    f.Machine().AddDrive('D').disc = Disc("ONE", 1, {{"one.txt", "1"}, {"Sub\\a.txt", "a"}});
    f.Machine().AddDrive('E').disc = Disc("TWO", 2, {{"two.txt", "2"}});
    f.Machine().WithDrive('E', [](fake::FakeDrive& d) { d.trayOpen = true; });
    f.Machine().AddVolume('C');
    f.Open();
    f.SetTarget("C:\\Copies");
    f.Tick(0);
    f.Tick(1);

    f.Poll();  // both trays are closed by workers
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    EXPECT_EQ(f.Status(1), kStatusWaiting);
    ASSERT_TRUE(threads.WaitAllEnded(deadline));
    EXPECT_FALSE(f.Machine().DriveSnapshot('E').trayOpen);

    f.Poll();  // both discs are found: two copies start
    ASSERT_EQ(threads.Created(), 4);
    f.Poll();  // at once, while the workers start: they are only looked at
    ASSERT_TRUE(copy->WaitUntilInside(2)) << "the two copies never ran at the same time";
    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusCopying);
    EXPECT_EQ(f.Status(1), kStatusCopying);
    EXPECT_EQ(threads.Created(), 4);
    copy->Release();
    ASSERT_TRUE(threads.WaitAllEnded(deadline));

    f.Poll();
    EXPECT_EQ(f.Status(0), kStatusEjecting);
    EXPECT_EQ(f.Status(1), kStatusEjecting);
    f.Poll();  // the ejects run in workers
    EXPECT_EQ(f.Status(0), kStatusWaiting);
    EXPECT_EQ(f.Status(1), kStatusWaiting);
    f.Poll();  // whether or not an eject has ended yet, nothing else starts
    EXPECT_EQ(threads.Created(), 6);
    ASSERT_TRUE(threads.WaitAllEnded(deadline));
    f.Poll();

    EXPECT_EQ(threads.Created(), 6);
    EXPECT_TRUE(f.Machine().DriveSnapshot('D').trayOpen);
    EXPECT_TRUE(f.Machine().DriveSnapshot('E').trayOpen);
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\one.txt"), "1");
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\Sub\\a.txt"), "a");
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\two.txt"), "2");
    EXPECT_EQ(f.Entry(0).destination, "C:\\Copies\\" + std::string(2, '\0'));
    EXPECT_EQ(f.Entry(0).worker, nullptr);
    EXPECT_EQ(f.Entry(1).worker, nullptr);
    EXPECT_EQ(f.fake.log.Matching("CoInitialize").size(), 6u);
    EXPECT_EQ(f.fake.log.Matching("CoUninitialize").size(), 6u);
}

}  // namespace
}  // namespace dravolin

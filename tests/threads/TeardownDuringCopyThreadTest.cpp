// Closing the dialog while a copy runs, where the copy's thread cannot be killed: the teardown
// goes its whole way on the UI thread, and the worker copies on afterwards with its own record
// and services. Built for ThreadSanitizer (the tsan preset).
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include "shell/AutoPlay.h"
#include "target/DestinationHistory.h"
#include "tests/core/DialogFixture.h"
#include "tests/threads/StdThreads.h"

namespace dravolin {
namespace {

using Clock = std::chrono::steady_clock;
using test::DialogFixture;
using test::Disc;
using test::StdThreads;

// Holds a copy inside the operation until released. The release goes through a relaxed flag,
// which orders nothing: for ThreadSanitizer, whatever the copy does after it is concurrent with
// the teardown, as on a platform that cannot stop the copy. A deadline keeps a lost release
// from hanging the test. Outlives the copy that waits on it.
class CopyHold {
  public:
    explicit CopyHold(Clock::time_point deadline) : deadline_(deadline) {}

    // Worker side.
    void Wait() {
        inside_.store(true, std::memory_order_release);
        while (!released_.load(std::memory_order_relaxed) && Clock::now() < deadline_) {
            std::this_thread::yield();
        }
    }
    bool WaitUntilInside() const {
        while (!inside_.load(std::memory_order_acquire)) {
            if (Clock::now() >= deadline_) return false;
            std::this_thread::yield();
        }
        return true;
    }
    void Release() { released_.store(true, std::memory_order_relaxed); }

  private:
    Clock::time_point deadline_;
    std::atomic<bool> inside_{false};
    std::atomic<bool> released_{false};
};

class HeldCopy : public ShellCopy {
  public:
    HeldCopy(std::shared_ptr<ShellCopy> inner, CopyHold& hold)
        : inner_(std::move(inner)), hold_(hold) {}
    int FileOperation(const Operation& op) override {
        hold_.Wait();
        return inner_->FileOperation(op);
    }

  private:
    std::shared_ptr<ShellCopy> inner_;
    CopyHold& hold_;
};

TEST(ThreadedTeardown, ACopyThatCannotBeKilledOutlivesTheDialogWithItsRecordAndServices) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    CopyHold hold(deadline);
    StdThreads threads;
    DialogFixture f(fake::FakeResources::Language::English, &threads);
    f.platform.workers.copy = std::make_shared<HeldCopy>(f.fake.machine, hold);
    const std::weak_ptr<ShellCopy> copy = f.platform.workers.copy;
    test::ReleaseAndJoin<CopyHold> joinOnExit{threads, hold};

    f.Machine().AddDrive('E').disc = Disc("DATA", 1, {{"a.txt", "A"}, {"Sub\\b.txt", "B"}});
    f.Machine().AddVolume('C');
    f.Open();
    f.SetTarget("C:\\Copies");
    f.Tick(0);
    f.Poll();  // the tray-closing worker finds the disc
    ASSERT_TRUE(threads.WaitAllEnded(deadline));
    f.Poll();  // the copy starts
    ASSERT_EQ(threads.Created(), 2);
    ASSERT_TRUE(hold.WaitUntilInside());
    const std::weak_ptr<DriveEntry> record = f.dialog.m_entries.at(0);

    f.Close();
    f.platform.workers = WorkerServices{};

    EXPECT_EQ(threads.TerminateRequests(), 1);
    EXPECT_TRUE(f.dialog.m_entries.empty());
    EXPECT_EQ(f.fake.registry.Find(win::RootKey::CurrentUser, kHistoryKey, "Destination00"),
              (fake::FakeRegistry::Stored{win::kRegSz, "C:\\Copies\\"}));
    EXPECT_FALSE(
        f.fake.registry.Find(win::RootKey::LocalMachine, kCancelAutoplayKey, kCancelAutoplayValue));
    EXPECT_FALSE(record.expired()) << "the copy keeps its record";
    EXPECT_FALSE(copy.expired()) << "the copy keeps its services";

    hold.Release();  // the copy goes on, the dialog gone
    ASSERT_TRUE(threads.WaitAllEnded(deadline));
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\a.txt"), "A");
    EXPECT_EQ(f.Machine().FileContent("C:\\Copies\\Sub\\b.txt"), "B");
    EXPECT_TRUE(record.expired()) << "the copy's end releases its record";
    EXPECT_TRUE(copy.expired()) << "and its services";
}

}  // namespace
}  // namespace dravolin

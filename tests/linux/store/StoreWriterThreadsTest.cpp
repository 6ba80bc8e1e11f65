// The per-user store written on the registry's writer thread: the UI thread's Commit never
// waits for the disk, reads see what is being written, batches land in order, a failed write
// keeps what it was to write and is told on the UI thread, and the teardown writes everything.
// The disk is made to hang by holding the store's lock, as another program writing would.
#include <unistd.h>
#include <gtest/gtest.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include "LinuxTestSupport.h"
#include "StoreLockHolder.h"
#include "StoreRewrites.h"
#include "platform/linux/store/LinuxRegistry.h"

namespace dravolin::lnx::test {
namespace {

constexpr auto kUser = win::RootKey::CurrentUser;
const std::string kKey = "Software\\Dravolin";

// What the listener heard, and on which thread; the wake function's calls, from the writer.
class ThreadListener : public StoreListener {
  public:
    void OnWritePending() override { threads.push_back(std::this_thread::get_id()); }
    void OnWriteFailed(const std::string& path, int error) override {
        threads.push_back(std::this_thread::get_id());
        failures.push_back(path + ": " + std::to_string(error));
    }
    void OnDamagedKept(const std::string&, const std::string&) override {
        threads.push_back(std::this_thread::get_id());
    }
    void Wake() {
        {
            std::lock_guard lock(mutex);
            ++wakes;
        }
        woken.notify_all();
    }
    bool WaitForWakes(int count) {
        std::unique_lock lock(mutex);
        return woken.wait_for(lock, std::chrono::seconds(20), [&] { return wakes >= count; });
    }
    std::vector<std::thread::id> threads;
    std::vector<std::string> failures;
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
};

class StoreWrites : public ::testing::Test {
  protected:
    void SetUp() override { MakeFolder(folder); }
    std::string Read(const std::string& name) {
        const Registry::Value value = registry.GetValue(kUser, kKey, name, 260);
        return value.result == win::kErrorSuccess ? value.data : "(none)";
    }
    static std::string ReadFromFile(const std::string& folder, const std::string& name) {
        LinuxRegistry reader(folder);
        const Registry::Value value = reader.GetValue(kUser, kKey, name, 260);
        return value.result == win::kErrorSuccess ? value.data : "(none)";
    }
    void Set(const std::string& name, const std::string& data) {
        ASSERT_EQ(registry.SetValue(kUser, kKey, name, win::kRegSz, data), win::kErrorSuccess);
    }

    TempFolder temp;
    const std::string folder = temp / "dravolin";
    LinuxRegistry registry{folder};
};

TEST_F(StoreWrites, ACommitReturnsWhileTheWriteWaitsAndReadsSeeWhatIsBeingWritten) {
    StoreLockHolder disk(folder);
    ASSERT_TRUE(disk.Holding());
    Set("A", "a");
    {
        ReleaseIfLate guard(disk);
        registry.Commit();
        ASSERT_TRUE(guard.Returned()) << "Commit waited for the write";
    }
    ASSERT_TRUE(disk.WaitForWaiter()) << "nothing is writing the store";
    EXPECT_TRUE(registry.HasPendingWrites());
    EXPECT_EQ(Read("A"), "a");
    EXPECT_EQ(ReadFromFile(folder, "A"), "(none)") << "written through the held lock";

    disk.Release();
    EXPECT_EQ(registry.Flush(), 0);
    EXPECT_FALSE(registry.HasPendingWrites());
    EXPECT_EQ(ReadFromFile(folder, "A"), "a");
}

TEST_F(StoreWrites, ABatchCommittedDuringAWriteIsWrittenAfterIt) {
    Set("X", "old");
    Set("Y", "y");
    Set("Z", "z");
    ASSERT_EQ(registry.Flush(), 0);
    StoreRewrites rewrites(folder);
    ASSERT_TRUE(rewrites.Watching());

    StoreLockHolder disk(folder);
    Set("X", "first");
    ASSERT_EQ(registry.DeleteValue(kUser, kKey, "Y"), win::kErrorSuccess);
    registry.Commit();
    ASSERT_TRUE(disk.WaitForWaiter());
    Set("X", "second");
    Set("Y", "again");
    ASSERT_EQ(registry.DeleteValue(kUser, kKey, "Z"), win::kErrorSuccess);
    registry.Commit();
    // The newest of what is written and what waits behind it.
    EXPECT_EQ(Read("X"), "second");
    EXPECT_EQ(Read("Y"), "again");
    EXPECT_EQ(Read("Z"), "(none)");

    disk.Release();
    ASSERT_EQ(registry.Flush(), 0);
    EXPECT_EQ(rewrites.Take(), 2);
    EXPECT_EQ(ReadFromFile(folder, "X"), "second");
    EXPECT_EQ(ReadFromFile(folder, "Y"), "again");
    EXPECT_EQ(ReadFromFile(folder, "Z"), "(none)");
}

TEST_F(StoreWrites, AFailedWriteIsToldOnTheUiThreadAndWhatItHeldWaitsAheadOfLaterValues) {
    ThreadListener listener;
    registry.SetStoreListener(&listener, [&listener] { listener.Wake(); });
    // Off before the listener goes, whatever check ends the test.
    const std::unique_ptr<LinuxRegistry, void (*)(LinuxRegistry*)> unlisten(
        &registry, [](LinuxRegistry* r) { r->SetStoreListener(nullptr); });
    StoreLockHolder disk(folder);
    Set("A", "1");
    Set("B", "1");
    registry.Commit();
    ASSERT_TRUE(disk.WaitForWaiter());
    // The write fails once it has the lock: the store's name is a loop of links.
    ASSERT_EQ(::symlink("store", (folder + "/store").c_str()), 0);
    Set("A", "2");
    registry.Commit();
    disk.Release();

    // The first batch failed, then both together: two failures, neither told on the writer.
    ASSERT_TRUE(listener.WaitForWakes(2));
    ASSERT_TRUE(listener.failures.empty()) << "told on the writer thread";
    registry.TellFailures();
    ASSERT_EQ(listener.failures.size(), 2u);
    EXPECT_EQ(listener.failures[0], folder + "/store: " + std::to_string(ELOOP));
    for (const std::thread::id thread : listener.threads) {
        EXPECT_EQ(thread, std::this_thread::get_id());
    }
    EXPECT_TRUE(registry.HasPendingWrites());
    EXPECT_EQ(Read("A"), "2");
    EXPECT_EQ(Read("B"), "1");

    ASSERT_EQ(::unlink((folder + "/store").c_str()), 0);
    EXPECT_EQ(registry.Flush(), 0);
    EXPECT_EQ(ReadFromFile(folder, "A"), "2");
    EXPECT_EQ(ReadFromFile(folder, "B"), "1");
    EXPECT_EQ(listener.failures.size(), 2u);
}

TEST_F(StoreWrites, TheTeardownWritesWhatIsBeingWrittenAndWhatWaits) {
    auto going = std::make_unique<LinuxRegistry>(folder);
    StoreLockHolder disk(folder);  // after the registry: gone first if a check fails
    going->SetValue(kUser, kKey, "A", win::kRegSz, "committed");
    going->Commit();
    ASSERT_TRUE(disk.WaitForWaiter());
    going->SetValue(kUser, kKey, "B", win::kRegSz, "waiting");
    disk.Release();
    going.reset();
    EXPECT_EQ(ReadFromFile(folder, "A"), "committed");
    EXPECT_EQ(ReadFromFile(folder, "B"), "waiting");
}

TEST_F(StoreWrites, TheTeardownOfAStoreThatCannotBeWrittenEnds) {
    const std::string blocked = temp / "blocked";
    WriteFile(blocked, "a file where the folder belongs");
    {
        LinuxRegistry going(blocked);
        going.SetValue(kUser, kKey, "A", win::kRegSz, "a");
        going.Commit();
        EXPECT_EQ(going.Flush(), ENOTDIR);
        EXPECT_TRUE(going.HasPendingWrites());
        going.SetValue(kUser, kKey, "B", win::kRegSz, "b");
    }
    EXPECT_EQ(ReadFromFile(blocked, "A"), "(none)");
}

}  // namespace
}  // namespace dravolin::lnx::test

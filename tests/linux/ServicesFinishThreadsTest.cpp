// The end of the program on the Linux services: the workers first, then every mount the program
// made, doors unlocked; mounts that were there before stay.
#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include "FakeSystem.h"
#include "platform/linux/LinuxServices.h"

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;

class ServicesFinish : public ::testing::Test {
  protected:
    void SetUp() override {
        system.AddBlockDevice("sr0", 5);
        system.AddBlockDevice("sr1", 5);
        system.AddMount(system.Dev("sr1"), "/media/u/THEIRS");
        LinuxServicesOptions options;
        options.roots = system.Roots();
        options.storeFolder = system.Temp() / "store";
        options.useUDisks2 = false;
        options.privateMountRoot = system.Temp() / "run";
        options.cdrom = cdrom;
        options.mountCalls = calls;
        services = std::make_unique<LinuxServices>(std::move(options));
    }

    FakeSystem system;
    std::shared_ptr<FakeCdrom> cdrom = std::make_shared<FakeCdrom>();
    std::shared_ptr<FakeMountCalls> calls = std::make_shared<FakeMountCalls>();
    std::unique_ptr<LinuxServices> services;
};

TEST_F(ServicesFinish, WaitsForTheWorkersThenReleasesOnlyWhatTheProgramMounted) {
    // Mounted on request (the drive menu), and found mounted.
    for (const OpticalDrive& drive : services->drives().All()) {
        ASSERT_TRUE(services->mounter().EnsureMounted(drive).ok);
    }
    ASSERT_EQ(calls->log.size(), 1u);

    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    auto worker = services->threads().Create([&] {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 30s, [&] { return release; });
        return 0u;
    });
    ASSERT_TRUE(worker);

    // A worker still runs at the deadline: nothing is let go under it.
    EXPECT_FALSE(services->Finish(std::chrono::steady_clock::now()));
    EXPECT_EQ(calls->log.size(), 1u);
    EXPECT_FALSE(cdrom->Unlocked(system.Dev("sr0")));

    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    EXPECT_TRUE(services->Finish(std::chrono::steady_clock::now() + 30s));
    const std::vector<std::string> expected = {
        "mount " + system.Dev("sr0") + " " + system.Temp() / "run/sr0" + " udf",
        "umount " + system.Temp() / "run/sr0"};
    EXPECT_EQ(calls->log, expected);
    EXPECT_TRUE(cdrom->Unlocked(system.Dev("sr0")));
    EXPECT_FALSE(cdrom->Unlocked(system.Dev("sr1")));
}

}  // namespace
}  // namespace dravolin::lnx::test

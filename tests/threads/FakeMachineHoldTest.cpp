// A held copy blocks its worker until released, while the machine keeps answering others.
#include <gtest/gtest.h>
#include <chrono>
#include <future>
#include <thread>
#include "platform/fake/FakeMachine.h"

namespace dravolin::fake {
namespace {

TEST(FakeMachineThreads, HeldCopyWaitsForRelease) {
    CallLog log;
    FakeMachine machine(log);
    machine.AddDrive('E');
    machine.InsertDisc('E', FakeDisc{"DATA", 1, {{"a.txt", "A"}}, {}});
    machine.AddVolume('C');
    machine.HoldCopies();

    ShellCopy::Operation op;
    op.from = std::string("E:\\*.*\0", 7);
    op.to = std::string("C:\\Out\\\0\0", 9);
    auto copy = std::async(std::launch::async, [&] { return machine.FileOperation(op); });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (log.IndexOf("SHFileOperationA") < 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_GE(log.IndexOf("SHFileOperationA"), 0);
    // The copy has started and waits; the drive still answers from this thread.
    EXPECT_TRUE(machine.GetVolumeInformation("\\\\.\\E:\\", 261).ok);
    EXPECT_EQ(copy.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    EXPECT_FALSE(machine.FileContent("C:\\Out\\a.txt").has_value());

    machine.ReleaseCopies();
    EXPECT_EQ(copy.get(), 0);
    EXPECT_EQ(machine.FileContent("C:\\Out\\a.txt"), "A");
}

}  // namespace
}  // namespace dravolin::fake

// The media test that the dialog's poll makes on the UI thread: asked on a worker, so that a
// drive slow to answer (its IDE channel busy with the other drive's reads) never keeps the
// caller for more than a moment, and its late answer is not lost.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include "FakeSystem.h"
#include "platform/linux/threads/LinuxThreads.h"
#include "platform/linux/LinuxServices.h"
#include "platform/linux/drives/DiscPresence.h"
#include "platform/Types.h"

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class DiscPresenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gate.Open();  // the drive answers at once unless a test closes the gate
        system.AddBlockDevice("sr0", 5);
        node = system.Dev("sr0");
        cdrom->onIoctl = [this](unsigned long request) {
            if (request == CDROM_DRIVE_STATUS) gate.Wait();
        };
        // Generous, so that a loaded machine's answer still comes in time where it should.
        tests = Make(5s);
    }
    // Tests made at the callers' pace only, unless `ahead` is given (then asked `ahead`
    // before the next test is due).
    std::shared_ptr<DiscPresence> Make(std::chrono::milliseconds patience,
                                       std::chrono::milliseconds ahead = 0ms) {
        DiscPresence::Timing timing;
        timing.patience = patience;
        timing.now = [this] {
            std::lock_guard lock(clockMutex);
            return fakeNow;
        };
        if (ahead == 0ms) timing.longestPace = 0ms;
        timing.lead = ahead;
        return std::make_shared<DiscPresence>(cdrom, threads, timing);
    }
    void TearDown() override {
        gate.Open();
        EXPECT_TRUE(threads.WaitForAll(Clock::now() + 30s));
    }
    int StatusCommands() {
        const auto requests = Requests(cdrom->Calls());
        return static_cast<int>(std::count(requests.begin(), requests.end(), CDROM_DRIVE_STATUS));
    }
    void Advance(std::chrono::milliseconds by) {
        std::lock_guard lock(clockMutex);
        fakeNow += by;
    }
    // Waits, with a deadline, until the drive has been sent `commands` status commands.
    bool Sent(int commands) {
        const Clock::time_point deadline = Clock::now() + 30s;
        while (StatusCommands() < commands) {
            if (Clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    }
    // Waits, with a deadline, until the drive has answered the test under way.
    bool Answered(int commands) {
        const Clock::time_point deadline = Clock::now() + 30s;
        while (StatusCommands() < commands || !threads.WaitForAll(Clock::now())) {
            if (Clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    }

    FakeSystem system;
    std::shared_ptr<FakeCdrom> cdrom = std::make_shared<FakeCdrom>();
    LinuxThreads threads;
    Gate gate;  // holds the drive's status command: a drive whose channel is busy
    std::mutex clockMutex;
    Clock::time_point fakeNow = Clock::now();
    std::string node;
    std::shared_ptr<DiscPresence> tests;
    // The tests below are the poll's, but where a test says otherwise.
    std::optional<DiscPresence::PollScope> poll{std::in_place};
};

TEST_F(DiscPresenceTest, AQuickDriveAnswersEveryTestAnewAndNeverOnTheCallersThread) {
    const struct {
        int status;
        bool disc;
    } cases[] = {{CDS_DISC_OK, true},          {CDS_NO_DISC, false}, {CDS_TRAY_OPEN, false},
                 {CDS_DRIVE_NOT_READY, false}, {CDS_DISC_OK, true},  {-1, false}};
    int commands = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        cdrom->status = c.status;
        EXPECT_EQ(tests->HasMedia(node), c.disc);
        EXPECT_EQ(StatusCommands(), ++commands);  // an answer is given once
    }
    for (std::thread::id thread : cdrom->Threads()) EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(DiscPresenceTest, ASlowDriveKeepsNoCallerAndItsLateAnswerServesTheNextTest) {
    tests = Make(1ms);
    gate.Close();
    EXPECT_FALSE(tests->HasMedia(node));  // returns while the drive still holds the command
    EXPECT_FALSE(tests->HasMedia(node));  // a test under way is not asked twice
    gate.Open();
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(StatusCommands(), 1);
    Advance(1500ms);  // the next poll
    EXPECT_TRUE(tests->HasMedia(node));
    EXPECT_EQ(StatusCommands(), 1);

    // A late answer left longer than it stays fresh is not believed: the drive is asked anew.
    gate.Close();
    EXPECT_FALSE(tests->HasMedia(node));
    cdrom->status = CDS_NO_DISC;
    gate.Open();
    ASSERT_TRUE(Answered(2));
    cdrom->status = CDS_DISC_OK;
    Advance(2001ms);
    gate.Close();
    EXPECT_FALSE(tests->HasMedia(node));  // the stale "no disc" is not the answer either
    EXPECT_TRUE(Sent(3));
    gate.Open();
    ASSERT_TRUE(Answered(3));
    EXPECT_TRUE(tests->HasMedia(node));
}

// The patience is the whole poll's: once a slow drive has used it up, the poll's other drives
// are asked without waiting, and their answers serve the next poll. Four drives sharing two busy
// IDE channels keep the dialog no longer than one.
TEST_F(DiscPresenceTest, APollWaitsForItsDrivesNoLongerThanItsPatienceInAll) {
    system.AddBlockDevice("sr1", 5);
    const std::string quick = system.Dev("sr1");
    tests = Make(200ms);
    std::atomic<int> asked{0};
    cdrom->onIoctl = [&](unsigned long request) {
        if (request == CDROM_DRIVE_STATUS && asked++ == 0) gate.Wait();  // the first: sr0's
    };
    gate.Close();
    EXPECT_FALSE(tests->HasMedia(node));   // waits out the patience
    EXPECT_FALSE(tests->HasMedia(quick));  // nothing left to wait: asked, not awaited
    ASSERT_TRUE(Sent(2));
    gate.Open();
    ASSERT_TRUE(Answered(2));
    poll.emplace();  // the next tick
    Advance(1500ms);
    EXPECT_TRUE(tests->HasMedia(quick));
    EXPECT_TRUE(tests->HasMedia(node));
    EXPECT_EQ(StatusCommands(), 2);
}

// A user's double-click acts on the answer at once: outside the poll, the drive is asked on the
// caller's thread and its answer awaited however slow it is.
TEST_F(DiscPresenceTest, ACommandOutsideThePollWaitsForTheDrivesAnswer) {
    tests = Make(1ms, 1499ms);
    poll.reset();
    gate.Close();
    std::thread drive([&] {
        if (Sent(1)) gate.Open();
    });
    EXPECT_TRUE(tests->HasMedia(node));
    drive.join();
    EXPECT_EQ(cdrom->Calls().back().thread, std::this_thread::get_id());
    // Nor is anything asked ahead for a command.
    Advance(1500ms);
    EXPECT_TRUE(tests->HasMedia(node));
    EXPECT_TRUE(threads.WaitForAll(Clock::now() + 30s));
    EXPECT_EQ(StatusCommands(), 2);
}

// The poll tests a drive waiting for a disc every 1.5 s: it is asked shortly before each test
// is due, so that a disc that takes the drive long to read is still seen at the next poll.
TEST_F(DiscPresenceTest, ADriveTestedAtASteadyPaceIsAskedAheadOfItsNextTest) {
    cdrom->status = CDS_NO_DISC;
    tests = Make(1ms, 1499ms);  // asked 1 ms after a test at a pace of 1.5 s
    gate.Close();
    EXPECT_FALSE(tests->HasMedia(node));
    gate.Open();
    ASSERT_TRUE(Answered(1));
    Advance(1500ms);
    gate.Close();
    EXPECT_FALSE(tests->HasMedia(node));  // the late answer; the pace is known now
    ASSERT_TRUE(Sent(2));                 // the test made ahead
    cdrom->status = CDS_DISC_OK;          // the disc arrives while the drive reads it
    gate.Open();
    ASSERT_TRUE(Answered(2));
    Advance(1500ms);
    gate.Close();
    EXPECT_TRUE(tests->HasMedia(node));  // at once, from the test made ahead
    EXPECT_EQ(StatusCommands(), 2);
    gate.Open();
}

TEST_F(DiscPresenceTest, TheEndOfTheProgramEndsATestWaitingToBeMadeAhead) {
    cdrom->status = CDS_NO_DISC;
    tests = Make(5s, 1ms);  // asked 1 ms before a test due in 5 s
    EXPECT_FALSE(tests->HasMedia(node));
    Advance(5000ms);
    EXPECT_FALSE(tests->HasMedia(node));
    tests->Stop();
    EXPECT_TRUE(threads.WaitForAll(Clock::now() + 2s));
    EXPECT_EQ(StatusCommands(), 2);
}

TEST_F(DiscPresenceTest, ADriveStuckOnACommandKeepsNoOtherDriveWaiting) {
    system.AddBlockDevice("sr1", 5);
    const std::string other = system.Dev("sr1");
    cdrom->onIoctl = [&](unsigned long request) {
        if (request != CDROM_DRIVE_STATUS) return;
        const auto calls = cdrom->Calls();
        if (!calls.empty() && calls.back().node == node) gate.Wait();
    };
    gate.Close();
    std::thread stuck([&] { EXPECT_TRUE(tests->HasMedia(node)); });
    ASSERT_TRUE(Sent(1));
    EXPECT_TRUE(tests->HasMedia(other));
    gate.Open();
    stuck.join();
}

// A drive that answers its first status command late: it has read the tray when the command
// comes, and answers once the gate opens.
class LateFirstAnswer : public FakeCdrom {
  public:
    int Ioctl(int fd, unsigned long request, std::uintptr_t argument) override {
        const int result = FakeCdrom::Ioctl(fd, request, argument);
        if (request == CDROM_DRIVE_STATUS && held.exchange(false)) gate.Wait();
        return result;
    }
    Gate gate;
    std::atomic<bool> held{true};
};

// An answer that came late, or was still under way, when the disc went (the program ejected it
// or closed the tray, or a refresh saw the tray opened by the drive's own button) is not
// believed: the next poll asks the drive anew and starts no copy of a disc no longer there.
TEST(DiscPresenceAfterTheDiscWent, AnAnswerFromBeforeIsNotBelieved) {
    enum How { Eject, Load, TraySeenOpen };
    struct Case {
        const char* title;
        How how;
        bool underWay;  // the answer is still on its way when the disc goes
    };
    for (const Case& c : {Case{"ejected", Eject, false}, Case{"tray closed", Load, false},
                          Case{"tray seen open", TraySeenOpen, false},
                          Case{"ejected, answer under way", Eject, true}}) {
        SCOPED_TRACE(c.title);
        FakeSystem system;
        system.AddBlockDevice("sr0", 5);
        auto cdrom = std::make_shared<LateFirstAnswer>();
        LinuxServicesOptions options;
        options.roots = system.Roots();
        options.storeFolder = system.Temp() / "store";
        options.useUDisks2 = false;
        options.cdrom = cdrom;
        LinuxServices services(std::move(options));
        auto device =
            services.workers().devices->Open("\\\\.\\D:", win::kGenericRead, 3, win::kOpenExisting);
        ASSERT_TRUE(device);
        const auto poll = [&] {
            const DiscPresence::PollScope scope;
            return device->Control(win::kIoctlDiskCheckVerify);
        };

        EXPECT_FALSE(poll());  // the drive holds its answer: a disc is there
        if (!c.underWay) {
            cdrom->gate.Open();
            ASSERT_TRUE(services.threads().WaitForAll(Clock::now() + 30s));
        }
        cdrom->status = CDS_TRAY_OPEN;
        switch (c.how) {
            case Eject:
                EXPECT_TRUE(device->Control(win::kIoctlDiskEjectMedia));
                break;
            case Load:
                EXPECT_TRUE(device->Control(win::kIoctlDiskLoadMedia));
                break;
            case TraySeenOpen:
                services.states().Refresh('D');
                break;
        }
        cdrom->gate.Open();
        ASSERT_TRUE(services.threads().WaitForAll(Clock::now() + 30s));

        EXPECT_FALSE(poll()) << "a copy would start on the answer from before";
        ASSERT_TRUE(services.threads().WaitForAll(Clock::now() + 30s));
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

// What the drives say, learnt on workers: the volume queries of the poll answer at once from what
// a worker read, once per medium, and never touch a drive on the caller's thread.
#include <gtest/gtest.h>
#include <chrono>
#include <algorithm>
#include <cerrno>
#include "FakeSystem.h"
#include "LinuxTestSupport.h"
#include "platform/linux/threads/LinuxThreads.h"
#include "platform/linux/drives/LinuxVolumes.h"

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kSector = 2048;
const std::string kRoot = "\\\\.\\D:\\";

class DriveStatesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunProgram({"genisoimage", "-version"}) != 0) {
            GTEST_SKIP() << "genisoimage is needed (scripts/install-deps)";
        }
        system.AddBlockDevice("sr0", 5);
        drives = std::make_shared<const OpticalDrives>(system.Roots());
        states = std::make_shared<DriveStates>(drives, cdrom, threads);
        volumes = std::make_unique<LinuxVolumes>(drives, states);
        MakeFolder(files);
        WriteFile(files + "/readme.txt", "a disc\n");
    }
    void TearDown() override { EXPECT_TRUE(Settled()); }

    // Puts an image labelled `label` into the drive.
    void Insert(const std::string& label, std::size_t emptySectorsBefore = 0) {
        const std::string image = temp / "disc.iso";
        std::string output;
        ASSERT_EQ(
            RunProgram({"genisoimage", "-quiet", "-J", "-V", label, "-o", image, files}, &output),
            0)
            << output;
        system.SetDeviceContent("sr0",
                                std::string(emptySectorsBefore * kSector, '\0') + ReadFile(image));
    }
    bool Settled() { return threads.WaitForAll(std::chrono::steady_clock::now() + 30s); }
    // The volume query as the poll makes it, then the refresh it started.
    Volumes::Info QueryAndSettle() {
        const Volumes::Info info = volumes->GetVolumeInformation(kRoot, 260);
        EXPECT_TRUE(Settled());
        return info;
    }
    bool TouchedOnThisThread() {
        for (std::thread::id thread : cdrom->Threads()) {
            if (thread == std::this_thread::get_id()) return true;
        }
        return false;
    }
    int Count(unsigned long request) {
        const auto requests = Requests(cdrom->Calls());
        return static_cast<int>(std::count(requests.begin(), requests.end(), request));
    }

    FakeSystem system;
    TempFolder temp;
    std::string files = temp / "files";
    std::shared_ptr<const OpticalDrives> drives;
    std::shared_ptr<FakeCdrom> cdrom = std::make_shared<FakeCdrom>();
    LinuxThreads threads;
    std::shared_ptr<DriveStates> states;
    std::unique_ptr<LinuxVolumes> volumes;
};

template <typename Predicate>
bool WaitUntil(Predicate ready) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST_F(DriveStatesTest, TheQueryAnswersFromWhatAWorkerReadAndNeverTouchesTheDrive) {
    Insert("In Drive");
    const Volumes::Info first = QueryAndSettle();
    EXPECT_FALSE(first.ok) << "nothing was learnt yet";
    EXPECT_EQ(first.serial, 0u);

    const Volumes::Info info = QueryAndSettle();
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.label, "In Drive");
    EXPECT_NE(info.serial, 0u);
    EXPECT_EQ(volumes->GetVolumeInformation(kRoot, 4).label, "In ");
    EXPECT_TRUE(Settled());
    EXPECT_FALSE(TouchedOnThisThread());
    EXPECT_FALSE(volumes->GetVolumeInformation("\\\\.\\E:\\", 260).ok);
}

TEST_F(DriveStatesTest, LabelAndSerialAreReadOncePerMedium) {
    Insert("FIRST");
    QueryAndSettle();
    const Volumes::Info first = QueryAndSettle();
    ASSERT_EQ(first.label, "FIRST");
    const int reads = Count(CDROMMULTISESSION);
    EXPECT_EQ(reads, 1);

    // The same medium as far as the kernel knows: not read again.
    Insert("SECOND");
    QueryAndSettle();
    EXPECT_EQ(QueryAndSettle().label, "FIRST");
    EXPECT_EQ(Count(CDROMMULTISESSION), reads);

    // The kernel reports the change.
    cdrom->ChangeMedium();
    QueryAndSettle();
    const Volumes::Info second = QueryAndSettle();
    EXPECT_EQ(second.label, "SECOND");
    EXPECT_NE(second.serial, first.serial);

    // An open tray ends the medium; whatever comes next is read anew.
    cdrom->status = CDS_TRAY_OPEN;
    QueryAndSettle();
    EXPECT_FALSE(QueryAndSettle().ok);
    Insert("THIRD");
    cdrom->status = CDS_DISC_OK;
    QueryAndSettle();
    EXPECT_EQ(QueryAndSettle().label, "THIRD");

    // A read that found nothing (a drive still spinning the disc up) is made again, a few times.
    cdrom->ChangeMedium();
    system.SetDeviceContent("sr0", "");
    QueryAndSettle();
    EXPECT_FALSE(QueryAndSettle().ok);
    Insert("FOURTH");
    QueryAndSettle();
    EXPECT_EQ(QueryAndSettle().label, "FOURTH");
    cdrom->ChangeMedium();
    system.SetDeviceContent("sr0", "");
    const int before = Count(CDROMMULTISESSION);
    for (int i = 0; i < 5; ++i) QueryAndSettle();
    EXPECT_EQ(Count(CDROMMULTISESSION), before + 3) << "a disc with no volume is read for ever";
}

// A disc swapped behind a closed tray shows only as the kernel's media change. Where the kernel
// keeps one flag for every process, a desktop's prober that asks first takes the change away.
struct MediaChangeCase {
    const char* title;
    int timedCallError;   // 0: the kernel has CDROM_TIMED_MEDIA_CHANGE
    bool proberAskFirst;  // another process asked CDROM_MEDIA_CHANGED before the refresh
    bool seen;
};

class MediaChange : public DriveStatesTest,
                    public ::testing::WithParamInterface<MediaChangeCase> {};

TEST_P(MediaChange, TheNextDiscIsReadWhenTheKernelCanTellThisProgramOfTheChange) {
    Insert("FIRST");
    QueryAndSettle();
    ASSERT_EQ(QueryAndSettle().label, "FIRST");
    cdrom->timedMediaChangeError = GetParam().timedCallError;

    Insert("SECOND");
    cdrom->ChangeMedium();
    if (GetParam().proberAskFirst) {
        EXPECT_TRUE(cdrom->AskedElsewhere());
    }
    QueryAndSettle();
    EXPECT_EQ(QueryAndSettle().label, GetParam().seen ? "SECOND" : "FIRST");
}

INSTANTIATE_TEST_SUITE_P(
    Table, MediaChange,
    ::testing::Values(MediaChangeCase{"TimedCall", 0, false, true},
                      MediaChangeCase{"TimedCallAfterAProberTookTheSharedFlag", 0, true, true},
                      MediaChangeCase{"KernelWithoutTheTimedCallEnotty", ENOTTY, false, true},
                      MediaChangeCase{"KernelWithoutTheTimedCallEinval", EINVAL, false, true},
                      MediaChangeCase{"KernelWithoutTheTimedCallEnosys", ENOSYS, false, true},
                      // The limit of such a kernel: the prober had the change.
                      MediaChangeCase{"KernelWithoutTheTimedCallAfterAProber", ENOTTY, true,
                                      false}),
    [](const auto& info) { return std::string(info.param.title); });

TEST_F(DriveStatesTest, AnEmptyDriveIsNotRead) {
    Insert("Stale");
    cdrom->status = CDS_NO_DISC;
    QueryAndSettle();
    const Volumes::Info info = QueryAndSettle();
    EXPECT_FALSE(info.ok);
    EXPECT_EQ(info.label, "");
    EXPECT_EQ(Count(CDROMMULTISESSION), 0);
    EXPECT_EQ(states->Get('D').tray, TrayState::NoDisc);
    EXPECT_TRUE(states->Get('D').known);
}

TEST_F(DriveStatesTest, TheLastSessionOfAMultiSessionDiscIsRead) {
    Insert("SESSION2", 100);
    cdrom->sessionLba = 100;
    QueryAndSettle();
    EXPECT_EQ(QueryAndSettle().label, "SESSION2");
}

// A drive that takes its time (a scratched disc retries for many seconds) holds up one worker,
// not the caller, and the queries of every tick do not pile up workers behind it.
TEST_F(DriveStatesTest, AStuckDriveHoldsOneWorkerAndNoCaller) {
    Insert("SLOW");
    Gate gate;
    std::atomic<bool> stuck{false};
    cdrom->onIoctl = [&](unsigned long request) {
        if (request == CDROM_DRIVE_STATUS) {
            stuck = true;
            gate.Wait();
        }
    };
    for (int tick = 0; tick < 20; ++tick) {
        EXPECT_FALSE(volumes->GetVolumeInformation(kRoot, 260).ok);
    }
    EXPECT_FALSE(threads.WaitForAll(std::chrono::steady_clock::now()));
    gate.Open();
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(stuck);
    EXPECT_EQ(Count(CDROM_DRIVE_STATUS), 1);
    EXPECT_FALSE(TouchedOnThisThread());
}

// The drive menu waits for what the drive says after it opened, not for a refresh that was
// already under way.
TEST_F(DriveStatesTest, ARequestWithACallbackWaitsForARefreshThatBeganAfterIt) {
    Insert("MENU");
    Gate gate;
    std::atomic<int> statusCalls{0};
    cdrom->onIoctl = [&](unsigned long request) {
        if (request == CDROM_DRIVE_STATUS && ++statusCalls == 1) gate.Wait();
    };
    states->Request('D');
    ASSERT_TRUE(WaitUntil([&] { return statusCalls > 0; }));  // the first refresh is under way
    std::atomic<int> doneAfter{-1};
    states->Request('D', [&] { doneAfter = statusCalls.load(); });
    EXPECT_EQ(doneAfter, -1);
    gate.Open();
    ASSERT_TRUE(Settled());
    EXPECT_EQ(doneAfter, 2);
    EXPECT_EQ(states->Get('D').volume->label, "MENU");

    // An unknown drive answers at once.
    bool answered = false;
    states->Request('Q', [&] { answered = true; });
    EXPECT_TRUE(answered);
}

}  // namespace
}  // namespace dravolin::lnx::test

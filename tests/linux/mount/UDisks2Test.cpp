// Mounting through UDisks2, against a private bus and a stand-in service.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <gtest/gtest.h>
#include <future>
#include <chrono>
#include <thread>
#include "CopyTestSupport.h"
#include "FakeSystem.h"
#include "platform/linux/copy/PolicyPrompts.h"
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/copy/LinuxShellCopy.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/mount/ImageMount.h"
#include "platform/linux/mount/UDisks2Client.h"

extern char** environ;

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;

// A process started for a test and ended (by its id) with it.
class Child {
  public:
    explicit Child(const std::vector<std::string>& argv) {
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        if (::posix_spawnp(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) pid_ = 0;
    }
    ~Child() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool Started() const { return pid_ > 0; }

  private:
    pid_t pid_ = 0;
};

// Polls `ready` until it holds or the deadline passes.
template <typename Predicate>
bool WaitFor(Predicate ready) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class UDisks2 : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunProgram({"dbus-daemon", "--version"}) != 0 ||
            RunProgram({"/usr/bin/python3", "-c", "import dbus, gi"}) != 0) {
            GTEST_SKIP() << "dbus-daemon, python3-dbus and python3-gi are needed";
        }
        const std::string config = temp / "bus.conf";
        WriteFile(
            config,
            "<busconfig><type>session</type><listen>unix:path=" + temp / "bus" +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/>"
                "</policy></busconfig>");
        bus = std::make_unique<Child>(
            std::vector<std::string>{"dbus-daemon", "--nofork", "--config-file=" + config});
        ASSERT_TRUE(bus->Started());
        ASSERT_TRUE(WaitFor([&] { return ::access((temp / "bus").c_str(), F_OK) == 0; }));
        address = "unix:path=" + temp / "bus";

        system.AddBlockDevice("sr0", 5);
        drives = std::make_shared<const OpticalDrives>(system.Roots());
        options.mountInfo = system.Roots().mountInfo;
        options.busAddress = address;
        options.privateMountRoot = temp / "run";
        disc = temp / "media/DISC";
        MakeFolder(disc + "/folder");
        WriteFile(disc + "/folder/file.txt", "from the disc");
    }

    void StartService(const std::string& mode) {
        service = std::make_unique<Child>(std::vector<std::string>{
            "/usr/bin/python3", DRAVOLIN_UDISKS2_STANDIN, address, log, disc, mode});
        ASSERT_TRUE(service->Started());
        ASSERT_TRUE(WaitFor([&] { return ReadFile(log).find("ready") != std::string::npos; }));
    }
    std::string Calls() {
        std::string text = ReadFile(log);
        const std::size_t ready = text.find("ready\n");
        return ready == std::string::npos ? text : text.erase(ready, 6);
    }

    // Mounts and unmounts are a worker's, as in the program, unless a test says otherwise.
    std::atomic<bool> cancel{false};
    CancelScope worker{&cancel};
    TempFolder temp;
    std::unique_ptr<Child> bus, service;
    std::string address, disc, log = temp / "calls.log";
    FakeSystem system;
    std::shared_ptr<const OpticalDrives> drives;
    std::shared_ptr<FakeMountCalls> calls = std::make_shared<FakeMountCalls>();
    DiscMounter::Options options;
};

TEST_F(UDisks2, TheDiscIsMountedReadOnlyThroughTheServiceAndUnmountedBeforeEject) {
    StartService("ok");
    DiscMounter mounter(options, calls);
    const auto mounted = mounter.EnsureMounted(drives->All()[0]);
    ASSERT_TRUE(mounted.ok) << mounted.failure.detail;
    EXPECT_EQ(mounted.mountPoint, disc);
    EXPECT_TRUE(mounter.ReleaseForEject(drives->All()[0]));
    EXPECT_EQ(Calls(), "Mount options=ro\nUnmount\n");
    EXPECT_TRUE(calls->log.empty()) << "mount(2) was tried although UDisks2 answered";
}

TEST_F(UDisks2, ACopyReadsTheDiscWhereTheServiceMountedIt) {
    StartService("ok");
    auto mounter = std::make_shared<DiscMounter>(options, calls);
    LinuxShellCopy copy(
        drives, mounter,
        std::make_shared<PolicyPromptsFactory>(ReplaceDecision::Skip, ErrorDecision::Cancel));
    ShellCopy::Operation op;
    op.from = std::string("D:\\*.*\0", 7);
    op.to = temp / "target\\" + std::string(2, '\0');
    EXPECT_EQ(copy.FileOperation(op), 0);
    EXPECT_EQ(ReadFile(temp / "target/folder/file.txt"), "from the disc");
    // The mount was made for the copy and goes with it.
    EXPECT_EQ(Calls(), "Mount options=ro\nUnmount\n");
}

// UDisks2 learns of a new disc only once udev has probed it, which can be after the drive
// reports the disc ready: a disc that carries a file system is mounted once the service knows
// it, while a blank disc's error comes at once.
TEST_F(UDisks2, ADiscTheServiceDoesNotKnowYetIsMountedOnceItDoes) {
    StartService("late");
    const std::string image = temp / "disc.iso";
    std::string output;
    ASSERT_EQ(RunProgram({"genisoimage", "-quiet", "-V", "LATE", "-o", image, disc}, &output), 0)
        << output;
    system.SetDeviceContent("sr0", ReadFile(image));
    DiscMounter mounter(options, calls);
    const auto mounted = mounter.EnsureMounted(drives->All()[0]);
    ASSERT_TRUE(mounted.ok) << mounted.failure.detail;
    EXPECT_EQ(mounted.mountPoint, disc);
    EXPECT_EQ(Calls(), "Mount options=ro\nMount options=ro\nMount options=ro\nMount options=ro\n");
}

// Without the privilege to mount, the service's answer decides what the user reads: a blank
// disc's error comes at once; the service's own words go to the error output.
TEST_F(UDisks2, WhatTheServiceAnsweredIsSaidAsAPersonWould) {
    struct Case {
        const char* mode;  // of the stand-in; null: no service on the bus
        MountProblem problem;
        const char* said;
        const char* calls;
    };
    for (const Case& c : {
             Case{nullptr, MountProblem::NoDiscService,
                  "UDisks2: org.freedesktop.DBus.Error.ServiceUnknown: ", ""},
             Case{"late", MountProblem::NoFileSystem,
                  "UDisks2: org.freedesktop.DBus.Error.UnknownMethod: No such interface",
                  "Mount options=ro\n"},
             Case{"refuse", MountProblem::NotAllowed,
                  "UDisks2: org.freedesktop.UDisks2.Error.NotAuthorized: Not authorized to mount",
                  "Mount options=ro\n"},
         }) {
        SCOPED_TRACE(c.mode ? c.mode : "no service");
        if (c.mode) StartService(c.mode);
        calls->mountErrors["udf"] = EPERM;
        DiscMounter mounter(options, calls);
        ::testing::internal::CaptureStderr();
        const auto mounted = mounter.EnsureMounted(drives->All()[0]);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(mounted.ok);
        EXPECT_EQ(mounted.failure.problem, c.problem);
        EXPECT_NE(said.find("could not be mounted: " + std::string(c.said)), std::string::npos)
            << said;
        EXPECT_NE(said.find("mount(2): Operation not permitted"), std::string::npos) << said;
        EXPECT_EQ(Calls(), c.calls);
        service.reset();
        ::unlink(log.c_str());
    }
}

// The user's double click ejects on the UI thread: the service is asked not to show a password
// dialog, and a call it does not answer ends after a moment; a worker's call may wait for both.
TEST_F(UDisks2, TheUiThreadNeverWaitsForAPersonOrAStalledService) {
    struct Case {
        const char* mode;
        bool onWorker;
        bool answered;
        const char* calls;
    };
    for (const Case& c : {Case{"stall", false, false, "Unmount no-interaction\n"},
                          Case{"ok", false, true, "Unmount no-interaction\n"},
                          Case{"ok", true, true, "Unmount\n"}}) {
        SCOPED_TRACE(std::string(c.mode) + (c.onWorker ? ", worker" : ", UI thread"));
        StartService(c.mode);
        auto unmounted = std::async(std::launch::async, [&] {
            std::atomic<bool> flag{false};
            CancelScope scope(c.onWorker ? &flag : nullptr);
            return UDisks2Client(address).Unmount("sr0");
        });
        ASSERT_EQ(unmounted.wait_for(30s), std::future_status::ready);
        EXPECT_EQ(unmounted.get().ok, c.answered);
        EXPECT_EQ(Calls(), c.calls);
        service.reset();
        ::unlink(log.c_str());
    }
}

// An image is mounted the desktop user's way: the service sets up a read-only loop device from
// the descriptor passed to it, mounts it, and lets go of both in turn; a refused mount deletes
// the loop device at once.
TEST_F(UDisks2, AnImageIsMountedOnALoopDeviceTheServiceSetsUpAndDeletes) {
    const std::string image = temp / "image.iso";
    WriteFile(image, "image bytes");
    UniqueFd fd(::open(image.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd);
    // Where root falls back to mount(2) itself, nothing takes the image.
    calls->mountErrors = {{"udf", EINVAL}, {"iso9660", EINVAL}};
    ImageMount::Options imageOptions;
    imageOptions.busAddress = address;
    imageOptions.privateMountRoot = temp / "run";
    struct Case {
        const char* mode;
        bool mounted;
        const char* calls;
    };
    for (const Case& c : {
             Case{"ok", true,
                  "LoopSetup read-only image bytes\nMount options=ro\nUnmount\nDelete\n"},
             Case{"refuse", false, "LoopSetup read-only image bytes\nMount options=ro\nDelete\n"},
         }) {
        SCOPED_TRACE(c.mode);
        StartService(c.mode);
        {
            const ImageMount mount = ImageMount::Mount(fd.Get(), imageOptions, calls);
            EXPECT_EQ(mount.ok(), c.mounted) << mount.Error();
            EXPECT_EQ(mount.Folder(), c.mounted ? disc : "");
            if (!c.mounted) {
                EXPECT_NE(mount.Error().find("NotAuthorized: Not authorized to mount"),
                          std::string::npos)
                    << mount.Error();
            }
        }
        EXPECT_EQ(Calls(), c.calls);
        service.reset();
        ::unlink(log.c_str());
    }
}

TEST_F(UDisks2, ABusWithoutTheServiceIsAbsence) {
    const UDisks2Client::Result result = UDisks2Client(address).Mount("sr0", "ro");
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.serviceAbsent) << result.error;
    const UDisks2Client::Result noBus =
        UDisks2Client("unix:path=" + temp / "no-such-bus").Mount("sr0", "ro");
    EXPECT_TRUE(noBus.serviceAbsent) << noBus.error;
}

TEST(UDisks2Paths, BlockObjectPathsEscapeLikeTheService) {
    EXPECT_EQ(UDisks2Client::BlockObjectPath("sr0"), "/org/freedesktop/UDisks2/block_devices/sr0");
    EXPECT_EQ(UDisks2Client::BlockObjectPath("dm-1"),
              "/org/freedesktop/UDisks2/block_devices/dm_2d1");
}

}  // namespace
}  // namespace dravolin::lnx::test

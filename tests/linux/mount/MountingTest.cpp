// The mount table, the mounting fallbacks, and the shell copy from a drive letter to a folder.
#include <gtest/gtest.h>
#include <cstdlib>
#include "CopyTestSupport.h"
#include "FakeSystem.h"
#include "LinuxTestSupport.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/copy/LinuxShellCopy.h"
#include "platform/linux/threads/LinuxThreads.h"
#include "platform/linux/mount/MountTable.h"

namespace dravolin::lnx::test {
namespace {

TEST(MountInfo, ParsesEscapesOptionalFieldsAndSkipsBrokenLines) {
    const auto table = ParseMountInfo(
        "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw\n"
        "garbage line\n"
        "40 1 11:0 / /media/u/My\\040Disc ro shared:2 propagation:x - iso9660 /dev/sr0 ro\n"
        "41 1 11:1 / /media/u/x ro -\n");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].root, "/mnt1");
    EXPECT_EQ(table[1].major, 11u);
    EXPECT_EQ(table[1].minor, 0u);
    EXPECT_EQ(table[1].mountPoint, "/media/u/My Disc");
    EXPECT_EQ(table[1].fsType, "iso9660");
    EXPECT_EQ(table[1].source, "/dev/sr0");
}

// Another user may mount a file system of his own (FUSE) under any source name he likes: only
// the device number says which mount is the drive's.
TEST(MountInfo, ADrivesMountIsKnownByItsDeviceNumberNeverByItsSourceName) {
    FakeSystem system;
    system.AddBlockDevice("sr0", 5);
    std::string reason;
    const std::string number = system.MakeBlockNode("sr0", reason);
    if (number.empty()) GTEST_SKIP() << "no block device node to test with: " << reason;
    const std::string node = system.Dev("sr0");
    const std::string impostor =
        "50 1 0:55 / /home/eve/sr0 rw,nosuid,nodev - fuse.trap " + node + " rw\n";
    const std::string real = "60 1 " + number + " / /media/u/DISC ro - iso9660 /dev/cdrom ro\n";
    // Only a mount of the whole file system counts.
    const std::string part =
        "61 1 " + number + " /sub /media/u/part ro - iso9660 " + node + " ro\n";

    EXPECT_EQ(FindMountPoint(ParseMountInfo(impostor), node), std::nullopt);
    EXPECT_EQ(FindMountPoint(ParseMountInfo(part + impostor), node), std::nullopt);
    EXPECT_EQ(FindMountPoint(ParseMountInfo(impostor + real), node), "/media/u/DISC");
    EXPECT_EQ(FindMountPoint(ParseMountInfo(part + real + impostor), node), "/media/u/DISC");
    // A node that is no block device has no mount to find, whatever the sources say.
    WriteFile(system.Temp() / "plain", "");
    const std::string plain = system.Temp() / "plain";
    EXPECT_EQ(
        FindMountPoint(ParseMountInfo("50 1 0:55 / /x rw - fuse.t " + plain + " rw\n"), plain),
        std::nullopt);
}

class Mounting : public ::testing::Test {
  protected:
    void SetUp() override {
        // A mount found there is known by its node's device number (AddMount).
        std::string reason;
        if (system.MakeBlockNode("probe", reason).empty()) {
            GTEST_SKIP() << "no block device node to test with: " << reason;
        }
        system.AddBlockDevice("sr0", 5);
        drives = std::make_shared<const OpticalDrives>(system.Roots());
        options.mountInfo = system.Roots().mountInfo;
        options.useUDisks2 = false;
        options.privateMountRoot = system.Temp() / "run";
    }
    FakeSystem system;
    std::shared_ptr<const OpticalDrives> drives;
    std::shared_ptr<FakeMountCalls> calls = std::make_shared<FakeMountCalls>();
    std::shared_ptr<FakeCdrom> cdrom = std::make_shared<FakeCdrom>();
    DiscMounter::Options options;
};

TEST_F(Mounting, AnExistingMountIsUsedAsItIs) {
    system.AddMount(system.Dev("sr0"), "/media/u/DISC");
    DiscMounter mounter(options, calls);
    const auto mounted = mounter.EnsureMounted(drives->All()[0]);
    EXPECT_TRUE(mounted.ok);
    EXPECT_EQ(mounted.mountPoint, "/media/u/DISC");
    EXPECT_TRUE(calls->log.empty());
}

TEST_F(Mounting, WithoutUDisks2TheDiscIsMountedReadOnlyInAPrivateFolderUdfFirst) {
    calls->mountErrors["udf"] = EINVAL;  // not a UDF disc
    DiscMounter mounter(options, calls);
    const auto mounted = mounter.EnsureMounted(drives->All()[0]);
    EXPECT_TRUE(mounted.ok);
    EXPECT_EQ(mounted.mountPoint, system.Temp() / "run/sr0");
    const std::vector<std::string> expected = {
        "mount " + system.Dev("sr0") + " " + mounted.mountPoint + " udf",
        "mount " + system.Dev("sr0") + " " + mounted.mountPoint + " iso9660"};
    EXPECT_EQ(calls->log, expected);
    EXPECT_TRUE(mounter.ReleaseForEject(drives->All()[0]));
    EXPECT_EQ(calls->log.back(), "umount " + mounted.mountPoint);
}

TEST_F(Mounting, WhatWeMountedIsReleasedWithItsDoorUnlockedOnce) {
    DiscMounter mounter(options, calls, cdrom);
    const auto mounted = mounter.EnsureMounted(drives->All()[0]);
    ASSERT_TRUE(mounted.ok);
    EXPECT_TRUE(mounted.own);
    EXPECT_FALSE(cdrom->Unlocked(system.Dev("sr0")));
    EXPECT_TRUE(mounter.ReleaseOwn(drives->All()[0]));
    EXPECT_EQ(calls->log.back(), "umount " + mounted.mountPoint);
    EXPECT_TRUE(cdrom->Unlocked(system.Dev("sr0")));
    EXPECT_FALSE(mounter.ReleaseOwn(drives->All()[0])) << "released twice";
    EXPECT_EQ(calls->log.size(), 2u);
}

TEST_F(Mounting, AMountFoundThereStaysAndKeepsItsDoorLocked) {
    system.AddMount(system.Dev("sr0"), "/media/u/DISC");
    DiscMounter mounter(options, calls, cdrom);
    const auto mounted = mounter.EnsureMounted(drives->All()[0]);
    ASSERT_TRUE(mounted.ok);
    EXPECT_FALSE(mounted.own);
    EXPECT_FALSE(mounter.ReleaseOwn(drives->All()[0]));
    mounter.ReleaseAll();
    EXPECT_TRUE(calls->log.empty());
    EXPECT_TRUE(cdrom->Calls().empty());
}

TEST_F(Mounting, AtTheEndEveryDriveWeMountedIsReleased) {
    system.AddBlockDevice("sr1", 5);
    system.AddBlockDevice("sr2", 5);
    system.AddMount(system.Dev("sr2"), "/media/u/THEIRS");
    drives = std::make_shared<const OpticalDrives>(system.Roots());
    DiscMounter mounter(options, calls, cdrom);
    for (const OpticalDrive& drive : drives->All()) ASSERT_TRUE(mounter.EnsureMounted(drive).ok);
    calls->log.clear();
    mounter.ReleaseAll();
    const std::vector<std::string> expected = {"umount " + system.Temp() / "run/sr0",
                                               "umount " + system.Temp() / "run/sr1"};
    EXPECT_EQ(calls->log, expected);
    EXPECT_TRUE(cdrom->Unlocked(system.Dev("sr0")));
    EXPECT_TRUE(cdrom->Unlocked(system.Dev("sr1")));
    EXPECT_FALSE(cdrom->Unlocked(system.Dev("sr2")));
}

// What the service and mount(2) answered decides what the user reads; the answers themselves go
// to the error output. mount(2) speaks of the disc unless it was refused.
TEST(MountFailures, TheSystemsAnswersAreSaidAsAPersonWould) {
    const auto udisks = [](const char* name, const char* message) {
        return std::optional(UDisks2Client::Failed(name, message));
    };
    const auto noInterface = udisks("org.freedesktop.DBus.Error.UnknownMethod",
                                    "No such interface “org.freedesktop.UDisks2.Filesystem”");
    const auto absent = udisks("org.freedesktop.DBus.Error.ServiceUnknown",
                               "The name org.freedesktop.UDisks2 was not provided");
    const auto refused =
        udisks("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", "Not authorized");
    const auto failed = udisks("org.freedesktop.UDisks2.Error.Failed", "Error mounting: busy");
    struct Case {
        const char* title;
        std::optional<UDisks2Client::Result> udisks;
        int mountError;
        MountProblem problem;
        const char* reason;
    };
    for (const Case& c : {
             Case{"blank, no privilege", noInterface, EPERM, MountProblem::NoFileSystem,
                  "No such interface “org.freedesktop.UDisks2.Filesystem”"},
             Case{"blank, as root", noInterface, EINVAL, MountProblem::NoFileSystem,
                  "Invalid argument"},
             Case{"no service, no privilege", absent, EPERM, MountProblem::NoDiscService,
                  "Operation not permitted"},
             Case{"not asked, no privilege", std::nullopt, EACCES, MountProblem::NoDiscService,
                  "Permission denied"},
             Case{"no service, blank", absent, EINVAL, MountProblem::NoFileSystem,
                  "Invalid argument"},
             Case{"no service, no file system module", absent, ENODEV, MountProblem::NoFileSystem,
                  "No such device"},
             Case{"policy refuses", refused, EPERM, MountProblem::NotAllowed, "Not authorized"},
             Case{"scratched", noInterface, EIO, MountProblem::Unreadable, "Input/output error"},
             Case{"scratched, no service", absent, EIO, MountProblem::Unreadable,
                  "Input/output error"},
             Case{"the service failed", failed, EPERM, MountProblem::Other, "Error mounting: busy"},
             Case{"the disc went", absent, ENOMEDIUM, MountProblem::Other, "No medium found"},
         }) {
        SCOPED_TRACE(c.title);
        const MountFailure failure = JudgeMountFailure(c.udisks, c.mountError);
        EXPECT_EQ(failure.problem, c.problem);
        EXPECT_EQ(failure.reason, c.reason);
        // Every technical answer, the service's error's name among them.
        if (c.udisks) {
            EXPECT_NE(failure.detail.find(c.udisks->errorName), std::string::npos)
                << failure.detail;
        }
        EXPECT_NE(failure.detail.find("mount(2): " + ErrorText(c.mountError)), std::string::npos)
            << failure.detail;
    }
}

// Each file system is tried until mount(2) is refused; a read error outweighs what the other
// file system said. The technical answers go to the error output, prefixed as the program's
// other diagnostics are.
TEST_F(Mounting, AFailedMountSaysWhatItMeansAndWritesTheAnswersToTheErrorOutput) {
    struct Case {
        const char* title;
        int udf, iso9660;
        MountProblem problem;
        std::size_t tries;
        const char* said;
    };
    for (const Case& c : {
             Case{"no privilege", EPERM, EPERM, MountProblem::NoDiscService, 1,
                  "UDisks2: not asked; mount(2): Operation not permitted (errno 1)"},
             Case{"blank", EINVAL, EINVAL, MountProblem::NoFileSystem, 2,
                  "mount(2): Invalid argument"},
             Case{"unreadable as UDF", EIO, EINVAL, MountProblem::Unreadable, 2,
                  "mount(2): Input/output error"},
             Case{"unreadable as ISO 9660", EINVAL, EIO, MountProblem::Unreadable, 2,
                  "mount(2): Input/output error"},
         }) {
        SCOPED_TRACE(c.title);
        calls->log.clear();
        calls->mountErrors = {{"udf", c.udf}, {"iso9660", c.iso9660}};
        DiscMounter mounter(options, calls);
        ::testing::internal::CaptureStderr();
        const auto mounted = mounter.EnsureMounted(drives->All()[0]);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(mounted.ok);
        EXPECT_EQ(mounted.failure.problem, c.problem);
        EXPECT_EQ(calls->log.size(), c.tries);
        EXPECT_EQ(said.rfind("dravolin: D: (" + system.Dev("sr0") + ") could not be mounted: ", 0),
                  0u)
            << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
    }
}

class ShellCopies : public Mounting {
  protected:
    void SetUp() override {
        Mounting::SetUp();
        disc = system.Temp() / "disc";
        MakeFolder(disc + "/sub");
        WriteFile(disc + "/top.txt", "top");
        WriteFile(disc + "/sub/inner.txt", "inner");
    }
    int Copy(const std::string& from, const std::string& to) {
        auto mounter = std::make_shared<DiscMounter>(options, calls, cdrom);
        LinuxShellCopy copy(drives, mounter, factory, std::make_shared<CopyIo>(), states);
        ShellCopy::Operation op;
        op.owner = 7;
        op.from = from + std::string(1, '\0');
        op.to = to + std::string(2, '\0');
        return copy.FileOperation(op);
    }

    class Factory : public CopyPromptsFactory {
      public:
        std::unique_ptr<CopyPrompts> Begin(WindowHandle owner, const CopySource& source,
                                           const std::string& target) override {
            this->owner = owner;
            this->source = source;
            this->target = target;
            last = std::make_shared<ScriptedPrompts>();
            last->errorDefault = ErrorDecision::Cancel;
            last->onProgress = onProgress;
            return std::make_unique<ForwardingPrompts>(last);
        }
        std::function<bool(const CopyProgress&)> onProgress;
        WindowHandle owner = 0;
        CopySource source;
        std::string target;
        std::shared_ptr<ScriptedPrompts> last;
    };
    std::shared_ptr<Factory> factory = std::make_shared<Factory>();
    std::string disc;
    LinuxThreads threads;
    std::shared_ptr<DriveStates> states;  // none: no label is known
};

TEST_F(ShellCopies, TheWholeDiscLandsInTheFolderTheTrailingBackslashNames) {
    system.AddMount(system.Dev("sr0"), disc);
    const std::string folder = system.Temp() / "discs";

    EXPECT_EQ(Copy("D:\\*.*", folder + "\\"), 0);

    EXPECT_EQ(Snapshot(folder), Snapshot(disc));
    EXPECT_EQ(::access((folder + "\\").c_str(), F_OK), -1) << "a folder named with a backslash";
    EXPECT_EQ(factory->owner, 7u);
    // The windows name the drive as the dialog's list does, and the folder the disc is read
    // from; a Linux user never reads "D:\*.*".
    EXPECT_EQ(factory->source.letter, 'D');
    EXPECT_EQ(factory->source.drive, "CD/DVD drive sr0 (D:)");
    EXPECT_EQ(factory->target, folder);
    ASSERT_TRUE(factory->last);
    EXPECT_EQ(factory->last->mountedFolder, disc);
}

// The row shows the disc's label once it is read, else the drive's own name.
TEST_F(ShellCopies, TheCopysWindowsNameTheDriveAsTheDialogsListDoes) {
    if (RunProgram({"genisoimage", "-version"}) != 0) GTEST_SKIP() << "genisoimage is needed";
    // The drive's node holds the disc's bytes; the private mount shows the files already there.
    MakeFolder(system.Temp() / "run/sr0");
    WriteFile(system.Temp() / "run/sr0/file.txt", "from the disc");
    struct Case {
        const char* label;  // of the disc's image; null: no file system
        const char* name;
    };
    for (const Case& c : {Case{"PHOTOS", "PHOTOS (D:)"}, Case{nullptr, "CD/DVD drive sr0 (D:)"}}) {
        SCOPED_TRACE(c.name);
        std::string content(64 * 2048, '\0');
        if (c.label) {
            const std::string image = system.Temp() / "disc.iso";
            std::string output;
            ASSERT_EQ(
                RunProgram({"genisoimage", "-quiet", "-V", c.label, "-o", image, disc}, &output), 0)
                << output;
            content = ReadFile(image);
        }
        system.SetDeviceContent("sr0", content);
        states = std::make_shared<DriveStates>(drives, cdrom, threads);  // a new medium
        EXPECT_EQ(Copy("D:\\*.*", system.Temp() / "named\\"), 0);
        EXPECT_EQ(factory->source.drive, c.name);
    }
}

TEST_F(ShellCopies, EveryBackslashIsASeparatorAndTildeTheHomeFolder) {
    system.AddMount(system.Dev("sr0"), disc);
    EXPECT_EQ(Copy("D:\\*.*", system.Temp() / "discs\\batch2\\"), 0);
    EXPECT_EQ(Snapshot(system.Temp() / "discs/batch2"), Snapshot(disc));
    EXPECT_EQ(factory->target, system.Temp() / "discs/batch2");

    const char* home = std::getenv("HOME");
    const std::string saved = home ? home : "";
    ::setenv("HOME", (system.Temp() / "home").c_str(), 1);
    const int result = Copy("D:\\*.*", "~\\in home\\");
    if (home) {
        ::setenv("HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Snapshot(system.Temp() / "home/in home"), Snapshot(disc));
}

TEST_F(ShellCopies, UnknownDrivesCopyNothing) {
    system.AddMount(system.Dev("sr0"), disc);
    EXPECT_NE(Copy("E:\\*.*", system.Temp() / "t\\"), 0);
    EXPECT_NE(Copy("D:\\", system.Temp() / "t\\"), 0);
    EXPECT_EQ(::access((system.Temp() / "t").c_str(), F_OK), -1);
}

// Whether an eject follows is not the copy's to know: the row may have been unticked or the
// dialog closed. A disc left mounted would keep its door locked and the drive's button dead.
TEST_F(ShellCopies, AMountMadeForTheCopyGoesWhenTheCopyEndsHoweverItEnds) {
    struct Case {
        const char* title;
        bool cancel;
        int result;
    };
    for (const Case& c :
         {Case{"completed", false, 0}, Case{"cancelled", true, LinuxShellCopy::kResultCancelled}}) {
        SCOPED_TRACE(c.title);
        calls->log.clear();
        // What the private mount shows: the "mount" of the seam leaves the folder as it is.
        const std::string mountPoint = system.Temp() / "run/sr0";
        MakeFolder(mountPoint);
        WriteFile(mountPoint + "/file.txt", "from the disc");
        factory->onProgress = [&](const CopyProgress&) { return !c.cancel; };
        const std::string folder = system.Temp() / (std::string("to-") + c.title);

        EXPECT_EQ(Copy("D:\\*.*", folder + "\\"), c.result);

        ASSERT_EQ(calls->log.size(), 2u);  // the mount, then its release
        EXPECT_EQ(calls->log.back(), "umount " + mountPoint);
        EXPECT_TRUE(cdrom->Unlocked(system.Dev("sr0")));
    }
}

TEST_F(ShellCopies, AMountThatWasThereBeforeTheCopyStays) {
    system.AddMount(system.Dev("sr0"), disc);
    EXPECT_EQ(Copy("D:\\*.*", system.Temp() / "t\\"), 0);
    EXPECT_TRUE(calls->log.empty());
    EXPECT_FALSE(cdrom->Unlocked(system.Dev("sr0")));
}

// The question says what the failure means and names the drive; the end adds nothing to it.
TEST_F(ShellCopies, AFailedMountIsAskedAboutAndEndsTheCopy) {
    calls->mountErrors["udf"] = EPERM;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Copy("D:\\*.*", system.Temp() / "t\\"), LinuxShellCopy::kResultFailed);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("could not be mounted"),
              std::string::npos);
    ASSERT_TRUE(factory->last);
    ASSERT_EQ(factory->last->failures.size(), 1u);
    const CopyFailure& failure = factory->last->failures[0];
    EXPECT_EQ(failure.path, system.Dev("sr0"));
    EXPECT_EQ(failure.mount, MountProblem::NoDiscService);
    EXPECT_EQ(failure.text, "Operation not permitted");
    EXPECT_EQ(factory->source.drive, "CD/DVD drive sr0 (D:)");
    EXPECT_TRUE(factory->last->mountedFolder.empty());
    EXPECT_TRUE(factory->last->finished);
    EXPECT_EQ(factory->last->outcome, CopyOutcome::Failed);
    EXPECT_EQ(factory->last->summary, "");
}

}  // namespace
}  // namespace dravolin::lnx::test

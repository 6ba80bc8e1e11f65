// The mount table, the mounting fallbacks, and the shell copy from a drive letter to a folder.
#include <gtest/gtest.h>
#include <cstdlib>
#include "CopyTestSupport.h"
#include "FakeSystem.h"
#include "platform/linux/LinuxShellCopy.h"
#include "platform/linux/MountTable.h"

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

TEST_F(Mounting, WhenNothingMayMountTheErrorSaysWhy) {
    calls->mountErrors["udf"] = EPERM;
    calls->mountErrors["iso9660"] = EPERM;
    DiscMounter mounter(options, calls);
    const auto mounted = mounter.EnsureMounted(drives->All()[0]);
    EXPECT_FALSE(mounted.ok);
    EXPECT_NE(mounted.error.find(system.Dev("sr0")), std::string::npos) << mounted.error;
    EXPECT_NE(mounted.error.find("Operation not permitted"), std::string::npos) << mounted.error;
    EXPECT_EQ(calls->log.size(), 1u) << "EPERM for one file system is EPERM for all";
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
        LinuxShellCopy copy(drives, mounter, factory);
        ShellCopy::Operation op;
        op.owner = 7;
        op.from = from + std::string(1, '\0');
        op.to = to + std::string(2, '\0');
        return copy.FileOperation(op);
    }

    class Factory : public CopyPromptsFactory {
      public:
        std::unique_ptr<CopyPrompts> Begin(WindowHandle owner, const std::string& source,
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
        std::string source, target;
        std::shared_ptr<ScriptedPrompts> last;
    };
    std::shared_ptr<Factory> factory = std::make_shared<Factory>();
    std::string disc;
};

TEST_F(ShellCopies, TheWholeDiscLandsInTheFolderTheTrailingBackslashNames) {
    system.AddMount(system.Dev("sr0"), disc);
    const std::string folder = system.Temp() / "discs";

    EXPECT_EQ(Copy("D:\\*.*", folder + "\\"), 0);

    EXPECT_EQ(Snapshot(folder), Snapshot(disc));
    EXPECT_EQ(::access((folder + "\\").c_str(), F_OK), -1) << "a folder named with a backslash";
    EXPECT_EQ(factory->owner, 7u);
    EXPECT_EQ(factory->source, "D:\\*.*");
    EXPECT_EQ(factory->target, folder);
    ASSERT_TRUE(factory->last);
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

TEST_F(ShellCopies, AFailedMountIsAskedAboutAndEndsTheCopy) {
    calls->mountErrors["udf"] = EPERM;
    EXPECT_EQ(Copy("D:\\*.*", system.Temp() / "t\\"), LinuxShellCopy::kResultFailed);
    ASSERT_TRUE(factory->last);
    ASSERT_EQ(factory->last->failures.size(), 1u);
    EXPECT_NE(factory->last->failures[0].text.find("could not be mounted"), std::string::npos);
    EXPECT_TRUE(factory->last->finished);
    EXPECT_EQ(factory->last->outcome, CopyOutcome::Failed);
}

}  // namespace
}  // namespace dravolin::lnx::test

// Optical drives found in sysfs, their letters, drive types and device commands.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <cerrno>
#include "FakeSystem.h"
#include "archive/AudioDisc.h"
#include "platform/Types.h"
#include "platform/linux/drives/KernelToc.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/drives/LinuxDeviceControl.h"
#include "platform/linux/drives/LinuxShellInfo.h"
#include "platform/linux/threads/LinuxThreads.h"
#include "platform/linux/drives/LinuxVolumes.h"

namespace dravolin::lnx::test {
namespace {

TEST(OpticalDriveScan, SrDevicesAndRomTypesGetLettersFromDInDeviceOrder) {
    FakeSystem system;
    system.AddBlockDevice("sda", 0);
    system.AddBlockDevice("sr10", 5);
    system.AddBlockDevice("sr2", 5, "DVD-RW");
    system.AddBlockDevice("sr0", -1);  // no type file: the name tells
    system.AddBlockDevice("loop0", -1);
    system.SetUdevSerial("sr2", "11:2",
                         "S:cdrom\nE:ID_SERIAL=DVD-RW_K1234\nE:ID_SERIAL_SHORT=K1234\n");
    system.SetUdevSerial("sr10", "11:10", "E:ID_SERIAL=QEMU_DVD-ROM_QM00003\n");
    const OpticalDrives drives(system.Roots());
    ASSERT_EQ(drives.All().size(), 3u);
    EXPECT_EQ(drives.All()[0].name, "sr0");
    EXPECT_EQ(drives.All()[0].letter, 'D');
    EXPECT_EQ(drives.All()[1].name, "sr2");
    EXPECT_EQ(drives.All()[1].letter, 'E');
    EXPECT_EQ(drives.All()[1].model, "DVD-RW");
    EXPECT_EQ(drives.All()[1].serial, "K1234");
    EXPECT_EQ(drives.All()[2].serial, "QEMU_DVD-ROM_QM00003")
        << "the long form where udev has no other";
    EXPECT_EQ(drives.All()[0].serial, "");
    EXPECT_EQ(drives.All()[1].deviceNode, system.Dev("sr2"));
    EXPECT_EQ(drives.All()[2].name, "sr10");
    EXPECT_EQ(drives.All()[2].letter, 'F');
}

TEST(OpticalDriveScan, NoSysfsMeansNoDrives) {
    const OpticalDrives drives(SystemRoots{"/nonexistent-sys", "/dev", "/proc/self/mountinfo"});
    EXPECT_TRUE(drives.All().empty());
}

class DriveServices : public ::testing::Test {
  protected:
    void SetUp() override {
        system.AddBlockDevice("sr0", 5);
        system.AddBlockDevice("sr1", 5);
        drives = std::make_shared<const OpticalDrives>(system.Roots());
    }
    FakeSystem system;
    std::shared_ptr<const OpticalDrives> drives;
    std::shared_ptr<FakeCdrom> cdrom = std::make_shared<FakeCdrom>();
};

TEST_F(DriveServices, OnlyTheDrivesLettersAreCdRoms) {
    LinuxThreads threads;
    LinuxVolumes volumes(drives, std::make_shared<DriveStates>(drives, cdrom, threads));
    std::string types;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root = std::string("\\\\.\\") + letter + ":\\";
        types += std::to_string(volumes.GetDriveType(root));
    }
    EXPECT_EQ(types, "11155111111111111111111111");
    EXPECT_EQ(volumes.GetDriveType("\\\\.\\e:\\"), win::kDriveCdrom);
    EXPECT_EQ(volumes.GetDriveType("E:\\"), 1u);
    EXPECT_EQ(volumes.GetDriveType("\\\\.\\E:"), 1u);
    EXPECT_TRUE(cdrom->Threads().empty()) << "a drive type needs no drive";
}

struct ControlCase {
    const char* title;
    std::uint32_t code;
    int status;  // the drive's answer to CDROM_DRIVE_STATUS
    std::vector<unsigned long> requests;
    bool result;
};

class ControlCodes : public DriveServices, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ControlCodes, MapToTheCdromIoctls) {
    const ControlCase& c = GetParam();
    cdrom->status = c.status;
    LinuxDeviceControl control(drives, cdrom, nullptr);
    std::unique_ptr<Device> device =
        control.Open("\\\\.\\E:", win::kGenericRead, win::kFileShareRead | win::kFileShareWrite,
                     win::kOpenExisting);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Control(c.code), c.result);
    const auto calls = cdrom->Calls();
    ASSERT_EQ(calls.size(), c.requests.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].request, c.requests[i]) << i;
        // The status asks about the current slot; the door is unlocked, not locked.
        if (c.requests[i] == CDROM_DRIVE_STATUS || c.requests[i] == CDROM_LOCKDOOR) {
            EXPECT_EQ(calls[i].argument,
                      c.requests[i] == CDROM_DRIVE_STATUS ? std::uintptr_t{CDSL_CURRENT} : 0u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ControlCodes,
    ::testing::Values(
        ControlCase{"DiscOk", win::kIoctlDiskCheckVerify, CDS_DISC_OK, {CDROM_DRIVE_STATUS}, true},
        ControlCase{"NoDisc", win::kIoctlDiskCheckVerify, CDS_NO_DISC, {CDROM_DRIVE_STATUS}, false},
        ControlCase{
            "TrayOpen", win::kIoctlDiskCheckVerify, CDS_TRAY_OPEN, {CDROM_DRIVE_STATUS}, false},
        ControlCase{"NotReady",
                    win::kIoctlDiskCheckVerify,
                    CDS_DRIVE_NOT_READY,
                    {CDROM_DRIVE_STATUS},
                    false},
        ControlCase{"Failing", win::kIoctlDiskCheckVerify, -1, {CDROM_DRIVE_STATUS}, false},
        ControlCase{
            "Eject", win::kIoctlDiskEjectMedia, CDS_DISC_OK, {CDROM_LOCKDOOR, CDROMEJECT}, true},
        ControlCase{"Load", win::kIoctlDiskLoadMedia, CDS_TRAY_OPEN, {CDROMCLOSETRAY}, true}),
    [](const auto& info) { return std::string(info.param.title); });

TEST_F(DriveServices, FailingEjectAndLoadReportFalse) {
    cdrom->ejectResult = -1;
    cdrom->closeResult = -1;
    LinuxDeviceControl control(drives, cdrom, nullptr);
    auto device = control.Open("\\\\.\\D:", win::kGenericRead, 3, win::kOpenExisting);
    ASSERT_TRUE(device);
    EXPECT_FALSE(device->Control(win::kIoctlDiskEjectMedia));
    EXPECT_FALSE(device->Control(win::kIoctlDiskLoadMedia));
    EXPECT_FALSE(device->Control(0x2D4800));  // a code that has no meaning here
}

// A drive refuses an eject with a positive SCSI status, which the kernel passes through as the
// ioctl's result, and the program says so on its error output; an unlock that fails does not
// stop the eject from being tried.
TEST_F(DriveServices, RefusedEjectReportsFalseAndSaysSoAndFailedUnlockStillEjects) {
    LinuxDeviceControl control(drives, cdrom, nullptr);
    auto device = control.Open("\\\\.\\D:", win::kGenericRead, 3, win::kOpenExisting);
    ASSERT_TRUE(device);
    cdrom->ejectResult = 2;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(device->Control(win::kIoctlDiskEjectMedia));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("D: (" + system.Dev("sr0") +
                        ") refused to eject its disc: the drive "
                        "answered with status 2"),
              std::string::npos)
        << said;
    cdrom->ejectResult = 0;
    cdrom->lockResult = -1;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(device->Control(win::kIoctlDiskEjectMedia));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(cdrom->Calls().back().request, CDROMEJECT);
}

// The kernel refuses an eject with EBUSY while another descriptor of the drive is open (udev's
// probe after an unmount, this program's own drive-state refresh): such a refusal is asked
// again for a bounded time; any other refusal is final at once.
TEST_F(DriveServices, EjectRefusedWhileTheDriveIsBusyIsTriedAgainForABoundedTime) {
    enum Thread { Ui, Worker, CancelledWorker };
    struct Case {
        const char* title;
        Thread thread;
        int busy;     // ejects refused with EBUSY first
        int refused;  // then refused by the drive
        int result;   // the answer after them
        bool ejected;
        int ejects;        // CDROMEJECT requests sent
        const char* said;  // on the error output
    };
    const Case cases[] = {
        {"busy for a moment", Ui, 3, 0, 0, true, 4, ""},
        {"busy for a moment, worker", Worker, 3, 0, 0, true, 4, ""},
        {"busy for long, worker", Worker, 100, 0, 0, true, 101, ""},
        {"busy throughout", Ui, 1000, 0, 0, false, kEjectBusyPausesOnUiThread + 1,
         "Device or resource busy"},
        {"busy throughout, worker", Worker, 1000, 0, 0, false, kEjectBusyPausesOnWorker + 1,
         "Device or resource busy"},
        {"busy, worker told to stop", CancelledWorker, 1000, 0, 0, false, 1,
         "Device or resource busy"},
        {"unit attention once", Worker, 0, 1, 0, true, 2, ""},
        {"drive refuses", Ui, 0, 0, 2, false, kEjectRefusedPauses + 1,
         "the drive answered with status 2"},
        {"busy, then refused", Worker, 2, 0, -1, false, 3, "Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        auto io = std::make_shared<FakeCdrom>();
        io->ejectsBusy = c.busy;
        io->ejectsRefused = c.refused;
        io->ejectResult = c.result;
        std::atomic<bool> cancel{c.thread == CancelledWorker};
        std::optional<CancelScope> worker;
        if (c.thread != Ui) worker.emplace(&cancel);
        LinuxDeviceControl control(drives, io, nullptr);
        auto device = control.Open("\\\\.\\D:", win::kGenericRead, 3, win::kOpenExisting);
        ASSERT_TRUE(device);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(device->Control(win::kIoctlDiskEjectMedia), c.ejected);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        const std::vector<unsigned long> requests = Requests(io->Calls());
        EXPECT_EQ(std::count(requests.begin(), requests.end(), CDROMEJECT), c.ejects);
        EXPECT_EQ(io->pauses, c.ejects - 1);
    }
}

// The kernel refuses to unlock the door while another descriptor of the drive is open, and the
// drive then refuses the eject with "medium removal prevented". udev's probes hold a descriptor
// for a while after a disc's descriptors fail to read; a process that keeps the door locked
// holds one throughout, and its lock stays. The busy refusals and the drive's own are counted
// apart: a long busy spell must not use up the drive's tries.
TEST_F(DriveServices, ADoorStillLockedIsUnlockedAgainBeforeTheEjectIsAskedAgain) {
    struct Case {
        const char* title;
        bool worker;
        int busy;  // ejects refused with EBUSY first
        int unlocksRefused;
        bool ejected;
        int ejects;
    };
    for (const Case& c : {Case{"another descriptor open for a moment", false, 0, 4, true, 5},
                          Case{"another process holds the door locked", false, 0, 1000, false,
                               kEjectRefusedPauses + 1},
                          Case{"udev holds the drive for 2 s, worker", true, 20, 22, true, 23}}) {
        SCOPED_TRACE(c.title);
        auto io = std::make_shared<FakeCdrom>();
        io->doorLocked = true;
        io->ejectsBusy = c.busy;
        io->unlocksRefused = c.unlocksRefused;
        std::atomic<bool> cancel{false};
        std::optional<CancelScope> worker;
        if (c.worker) worker.emplace(&cancel);
        LinuxDeviceControl control(drives, io, nullptr);
        auto device = control.Open("\\\\.\\D:", win::kGenericRead, 3, win::kOpenExisting);
        ASSERT_TRUE(device);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(device->Control(win::kIoctlDiskEjectMedia), c.ejected);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("the drive answered with status 2") != std::string::npos, !c.ejected)
            << said;
        const std::vector<unsigned long> requests = Requests(io->Calls());
        EXPECT_EQ(std::count(requests.begin(), requests.end(), CDROMEJECT), c.ejects);
        EXPECT_EQ(io->doorLocked, !c.ejected);
    }
}

TEST_F(DriveServices, UnknownLettersOddPathsAndUnopenableNodesGiveNoDevice) {
    LinuxDeviceControl control(drives, cdrom, nullptr);
    for (const char* path : {"\\\\.\\C:", "\\\\.\\F:", "\\\\.\\E:\\", "E:", "/dev/sr0", ""}) {
        EXPECT_FALSE(control.Open(path, win::kGenericRead, 3, win::kOpenExisting)) << path;
    }
    ASSERT_EQ(::unlink(system.Dev("sr1").c_str()), 0);
    EXPECT_FALSE(control.Open("\\\\.\\E:", win::kGenericRead, 3, win::kOpenExisting));
    EXPECT_TRUE(cdrom->Calls().empty());
}

TEST_F(DriveServices, EjectUnmountsWhatThisProgramMountedFirst) {
    auto calls = std::make_shared<FakeMountCalls>();
    DiscMounter::Options options;
    options.mountInfo = system.Roots().mountInfo;
    options.useUDisks2 = false;
    options.privateMountRoot = system.Temp() / "run";
    auto mounter = std::make_shared<DiscMounter>(options, calls);
    ASSERT_TRUE(mounter->EnsureMounted(drives->All()[0]).ok);
    LinuxDeviceControl control(drives, cdrom, mounter);
    auto device = control.Open("\\\\.\\D:", win::kGenericRead, 3, win::kOpenExisting);
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->Control(win::kIoctlDiskEjectMedia));
    ASSERT_EQ(calls->log.size(), 2u);
    EXPECT_EQ(calls->log[1], "umount " + system.Temp() / "run/sr0");
    EXPECT_EQ(cdrom->Calls().back().request, CDROMEJECT);
}

// An audio CD has no volume to name it: its table of contents does, read once per medium, and
// the drive answers as Windows does for one, with the label given for it. A disc with a volume
// is named by the volume, its table not asked; a mixed disc without one is not an audio CD.
TEST_F(DriveServices, AnAudioCdIsNamedByItsTableOfContents) {
    if (RunProgram({"genisoimage", "-version"}) != 0) {
        GTEST_SKIP() << "genisoimage is needed (scripts/install-deps)";
    }
    const std::string files = system.Temp() / "files";
    MakeFolder(files);
    WriteFile(files + "/readme.txt", "a disc\n");
    const std::string iso = system.Temp() / "disc.iso";
    ASSERT_EQ(RunProgram({"genisoimage", "-quiet", "-V", "DATA", "-o", iso, files}), 0);
    struct AudioCase {
        const char* title;
        std::vector<std::pair<long, bool>> tracks;  // (start, data track?)
        long leadOut;
        bool volume;                         // the disc holds an ISO 9660 volume, DATA
        std::vector<std::uint32_t> lengths;  // of the tracks as read; empty: no table
        bool audio;
        int tableReads;  // in two refreshes of one medium
        const char* label;
        const char* name;
    };
    const std::vector<AudioCase> cases = {
        {"an audio CD",
         {{0, false}, {15000, false}, {32000, false}},
         40000,
         false,
         {15000, 17000, 8000},
         true,
         1,
         "Аудио-CD",
         "Аудио-CD (D:)"},
        {"a mixed-mode CD whose volume cannot be read",
         {{0, true}, {15000, false}},
         40000,
         false,
         {15000, 25000},
         false,
         2,
         "",
         "CD/DVD drive sr0 (D:)"},
        {"a mixed-mode CD with a volume",
         {{0, true}, {15000, false}},
         40000,
         true,
         {15000, 25000},
         false,
         0,
         "DATA",
         "DATA (D:)"},
        {"an audio CD whose lead-out cannot be read",
         {{0, false}},
         0,
         false,
         {},
         false,
         2,
         "",
         "CD/DVD drive sr0 (D:)"},
        {"a blank disc", {}, 0, false, {}, false, 2, "", "CD/DVD drive sr0 (D:)"},
    };
    for (const AudioCase& c : cases) {
        SCOPED_TRACE(c.title);
        auto io = std::make_shared<FakeCdrom>();
        io->tracks = c.tracks;
        io->leadOutLba = c.leadOut;
        system.SetDeviceContent("sr0", c.volume ? ReadFile(iso) : std::string());
        LinuxThreads threads;
        auto states = std::make_shared<DriveStates>(drives, io, threads, "Аудио-CD");
        states->Refresh('D');
        const std::optional<AudioIdentity> audio = states->Get('D').audio;
        states->Refresh('D');
        const auto tableReads = [&] {
            const std::vector<unsigned long> requests = Requests(io->Calls());
            return std::count(requests.begin(), requests.end(), CDROMREADTOCHDR);
        };
        EXPECT_EQ(tableReads(), c.tableReads);
        const DriveStates::State state = states->Get('D');
        ASSERT_EQ(state.audio.has_value(), c.audio);
        ASSERT_EQ(audio.has_value(), c.audio) << "the medium keeps what its first read found";
        if (c.audio) {
            archive::DiscToc toc;
            for (std::size_t i = 0; i < c.tracks.size(); ++i) {
                archive::TocTrack track;
                track.number = static_cast<int>(i + 1);
                track.start = static_cast<std::uint32_t>(c.tracks[i].first);
                track.audio = !c.tracks[i].second;
                toc.tracks.push_back(track);
            }
            toc.leadOut = static_cast<std::uint32_t>(c.leadOut);
            const std::string digest = Sha256Of(archive::TocIdentityText(toc));
            EXPECT_EQ(state.audio->digest, digest);
            EXPECT_EQ(state.audio->serial, archive::FingerprintOfIdentity(digest));
            EXPECT_EQ(audio->digest, digest);
        }

        LinuxVolumes volumes(drives, states);
        const Volumes::Info info = volumes.GetVolumeInformation("\\\\.\\D:\\", 260);
        ASSERT_TRUE(
            threads.WaitForAll(std::chrono::steady_clock::now() + std::chrono::seconds(30)));
        EXPECT_EQ(info.ok, *c.label != '\0');
        EXPECT_EQ(info.label, c.label);
        EXPECT_EQ(info.serial, c.audio    ? state.audio->serial
                               : c.volume ? state.volume->serial
                                          : 0u);
        EXPECT_EQ(NameInList(drives->All()[0], states.get()), c.name);

        const UniqueFd fd = io->Open(system.Dev("sr0"));
        const std::optional<archive::DiscToc> toc = ReadKernelToc(*io, fd.Get());
        ASSERT_EQ(toc.has_value(), !c.lengths.empty());
        if (!toc) continue;
        std::vector<std::uint32_t> lengths;
        for (const archive::TocTrack& track : toc->tracks) lengths.push_back(track.length);
        EXPECT_EQ(lengths, c.lengths);
        EXPECT_EQ(toc->leadOut, static_cast<std::uint32_t>(c.leadOut));
    }
}

TEST_F(DriveServices, DisplayNamesNameTheDriveAndItsLetter) {
    LinuxShellInfo info(drives);
    EXPECT_EQ(info.GetFileInfo("E:\\", 0, win::kDriveInfoFlags).displayName,
              "CD/DVD drive sr1 (E:)");
    EXPECT_EQ(info.GetFileInfo("Q:\\", 0, win::kDriveInfoFlags).displayName, "CD/DVD drive (Q:)");
    EXPECT_EQ(info.GetFileInfo("/home/u/discs\\", 0, win::kDriveInfoFlags).displayName, "discs");
    const ShellInfo::FileInfo folder =
        info.GetFileInfo("/home/u/discs\\", 0, win::kFolderIconFlags);
    EXPECT_FALSE(folder.icon);
    EXPECT_EQ(folder.displayName, "");
}

}  // namespace
}  // namespace dravolin::lnx::test

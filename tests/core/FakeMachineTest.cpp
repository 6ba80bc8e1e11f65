// Drive, disc and file-system semantics of the fake machine that the engine and target tests
// build on: tray and media, volume queries, device handles, the copy and folder preparation.
#include <gtest/gtest.h>
#include "platform/fake/FakeControls.h"
#include "platform/fake/FakeMachine.h"

namespace dravolin::fake {
namespace {

const std::string kRoot = "\\\\.\\E:\\";
const std::string kDevice = "\\\\.\\E:";

FakeDisc DataDisc() {
    FakeDisc disc;
    disc.label = "DATA";
    disc.serial = 0x1234;
    disc.files = {{"a.txt", "A"}, {"Docs\\b.txt", "B"}};
    disc.folders = {"Empty"};
    return disc;
}

bool Control(FakeMachine& machine, std::uint32_t code) {
    auto device = machine.Open(kDevice, win::kGenericRead, 3, win::kOpenExisting);
    return device != nullptr && device->Control(code);
}

TEST(FakeMachine, MediaTestFollowsTrayDiscAndReadiness) {
    CallLog log;
    FakeMachine machine(log);
    machine.AddDrive('E');
    struct Case {
        bool disc;
        bool trayOpen;
        int notReady;
        bool media;
    };
    const Case cases[] = {{true, false, 0, true},
                          {false, false, 0, false},
                          {true, true, 0, false},
                          {true, false, 1, false}};
    for (const Case& c : cases) {
        machine.WithDrive('E', [&](FakeDrive& d) {
            d.disc = c.disc ? std::optional<FakeDisc>(DataDisc()) : std::nullopt;
            d.trayOpen = c.trayOpen;
            d.notReadyChecks = c.notReady;
        });
        const auto info = machine.GetVolumeInformation(kRoot, 261);
        EXPECT_EQ(info.ok, c.media);
        EXPECT_EQ(info.serial, c.media ? 0x1234u : 0u);
        EXPECT_EQ(Control(machine, win::kIoctlDiskCheckVerify), c.media);
    }
    // The drive spinning up became ready after one failed media test.
    EXPECT_EQ(machine.DriveSnapshot('E').notReadyChecks, 0);
    EXPECT_TRUE(Control(machine, win::kIoctlDiskCheckVerify));
}

TEST(FakeMachine, EjectAndLoadMoveTheTrayAndLog) {
    CallLog log;
    FakeMachine machine(log);
    machine.AddDrive('E');
    machine.InsertDisc('E', DataDisc());
    EXPECT_EQ(machine.GetDriveType(kRoot), win::kDriveCdrom);
    EXPECT_EQ(machine.GetDriveType("\\\\.\\F:\\"), 1u);
    log.Clear();

    EXPECT_TRUE(Control(machine, win::kIoctlDiskEjectMedia));
    EXPECT_TRUE(machine.DriveSnapshot('E').trayOpen);
    EXPECT_FALSE(Control(machine, win::kIoctlDiskCheckVerify));
    EXPECT_TRUE(Control(machine, win::kIoctlDiskLoadMedia));
    EXPECT_FALSE(machine.DriveSnapshot('E').trayOpen);
    EXPECT_EQ(log.Lines()[0], "CreateFileA \\\\.\\E: 0x80000000 3 3");
    EXPECT_EQ(log.Lines()[1], "DeviceIoControl \\\\.\\E: 0x74808");
    EXPECT_EQ(log.Lines()[2], "CloseHandle \\\\.\\E:");

    machine.WithDrive('E', [](FakeDrive& d) { d.controlFails = true; });
    EXPECT_FALSE(Control(machine, win::kIoctlDiskEjectMedia));
    EXPECT_FALSE(machine.DriveSnapshot('E').trayOpen);
    machine.WithDrive('E', [](FakeDrive& d) { d.openFails = true; });
    EXPECT_EQ(machine.Open(kDevice, win::kGenericRead, 3, 3), nullptr);
    EXPECT_EQ(machine.Open("\\\\.\\F:", win::kGenericRead, 3, 3), nullptr);
}

TEST(FakeMachine, VolumeLabelIsCutToTheBuffer) {
    CallLog log;
    FakeMachine machine(log);
    machine.AddDrive('E');
    machine.InsertDisc('E', DataDisc());
    EXPECT_EQ(machine.GetVolumeInformation(kRoot, 261).label, "DATA");
    EXPECT_EQ(machine.GetVolumeInformation(kRoot, 3).label, "DA");
    EXPECT_EQ(log.Lines()[0], "GetVolumeInformationA \\\\.\\E:\\");
}

TEST(FakeMachine, CopyPutsTheDiscIntoTheTargetAndReplaces) {
    CallLog log;
    FakeMachine machine(log);
    machine.AddDrive('E');
    machine.InsertDisc('E', DataDisc());
    machine.AddVolume('C');
    machine.AddFile("C:\\Out\\A.TXT", "old");
    ShellCopy::Operation op;
    op.owner = 0x1001;
    op.from = std::string("E:\\*.*\0", 7);
    op.to = std::string("c:\\out\\\0\0", 9);
    EXPECT_EQ(machine.FileOperation(op), 0);
    EXPECT_EQ(machine.AllFiles(),
              (std::vector<std::string>{"C:\\Out\\A.TXT", "c:\\out\\Docs\\b.txt"}));
    EXPECT_EQ(machine.FileContent("C:\\OUT\\a.txt"), "A");
    EXPECT_TRUE(machine.FolderExists("C:\\Out\\Empty\\"));
    EXPECT_EQ(log.Lines().back(), "SHFileOperationA 4097 2 E:\\*.* -> c:\\out\\ 0");

    machine.AddVolume('R', false);
    op.to = std::string("R:\\x\\\0\0", 8);
    EXPECT_NE(machine.FileOperation(op), 0);  // read-only target
    op.to = std::string("Q:\\x\\\0\0", 8);
    EXPECT_NE(machine.FileOperation(op), 0);  // no such volume
    machine.WithDrive('E', [](FakeDrive& d) { d.trayOpen = true; });
    op.to = std::string("C:\\y\\\0\0", 8);
    EXPECT_NE(machine.FileOperation(op), 0);  // no readable disc
    EXPECT_FALSE(machine.FolderExists("C:\\y"));
}

TEST(FakeMachine, PreparationCreatesParentsAfterThePrompt) {
    CallLog log;
    FakeMachine machine(log);
    machine.AddVolume('C');
    machine.AddVolume('R', false);
    int prompts = 0;
    machine.SetPreparePrompt([&] {
        ++prompts;
        machine.GetDriveType("\\\\.\\C:\\");  // a nested poll reaches the machine
    });
    struct Case {
        const char* path;
        std::int32_t result;
    };
    const std::int32_t notFound = static_cast<std::int32_t>(0x80070003u);
    const Case cases[] = {{"C:\\Data\\Discs\\", win::kSOk}, {"C:\\", win::kSOk},
                          {"R:\\New\\", notFound},          {"Q:\\New\\", notFound},
                          {"C:\\a:b\\", notFound},          {"relative\\", notFound}};
    for (const Case& c : cases) {
        EXPECT_EQ(machine.PrepareForWrite(0x1001, c.path, win::kShppfwDirCreate), c.result)
            << c.path;
    }
    EXPECT_EQ(prompts, 6);
    EXPECT_TRUE(machine.FolderExists("c:\\data"));
    EXPECT_TRUE(machine.FolderExists("C:\\Data\\Discs"));
    EXPECT_EQ(log.Lines()[0], "SHPathPrepareForWriteA 4097 C:\\Data\\Discs\\ 1");
    EXPECT_EQ(log.Lines()[1], "GetDriveTypeA \\\\.\\C:\\");

    machine.SetPreparePrompt(nullptr);
    machine.SetPrepareResult(static_cast<std::int32_t>(0x800704C7u));
    EXPECT_EQ(machine.PrepareForWrite(0, "C:\\Other\\", 1), static_cast<std::int32_t>(0x800704C7u));
    EXPECT_FALSE(machine.FolderExists("C:\\Other"));
}

TEST(FakeMachine, ShellInfoForDrivesAndFolders) {
    CallLog log;
    FakeMachine machine(log);
    machine.AddDrive('E');
    machine.AddDrive('F').hasShellIcon = false;
    machine.AddFolder("C:\\Data");
    {
        auto drive = machine.GetFileInfo("E:\\", 0, win::kDriveInfoFlags);
        ASSERT_NE(drive.icon, nullptr);
        EXPECT_EQ(dynamic_cast<FakeIcon&>(*drive.icon).Name(), "shell:E:\\");
        EXPECT_EQ(drive.displayName, "CD Drive (E:)");
        auto noIcon = machine.GetFileInfo("F:\\", 0, win::kDriveInfoFlags);
        EXPECT_EQ(noIcon.icon, nullptr);
        EXPECT_EQ(noIcon.displayName, "CD Drive (F:)");
        EXPECT_NE(machine.GetFileInfo("C:\\Data\\", 0, win::kFolderIconFlags).icon, nullptr);
        EXPECT_EQ(machine.GetFileInfo("C:\\Gone\\", 0, win::kFolderIconFlags).icon, nullptr);
    }
    EXPECT_EQ(log.Lines()[0], "SHGetFileInfoA E:\\ 0x321");
    EXPECT_EQ(log.Matching("DestroyIcon"),
              (std::vector<std::string>{"DestroyIcon shell:C:\\Data\\", "DestroyIcon shell:E:\\"}));
}

}  // namespace
}  // namespace dravolin::fake

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <cstdint>
#include <string>
#include "engine/DriveControl.h"
#include "platform/fake/FakePlatform.h"

namespace dravolin {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kOpenE = "CreateFileA \\\\.\\E: 0x80000000 3 3";
const std::string kCloseE = "CloseHandle \\\\.\\E:";

struct CodeCase {
    const char* name;
    std::uint32_t code;
    const char* logged;
};

void PrintTo(const CodeCase& c, std::ostream* os) {
    *os << c.name;
}

class ControlDriveCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(ControlDriveCodes, OpensTheDeviceSendsOneCommandAndClosesIt) {
    fake::FakePlatform fake;
    fake::FakeDrive& drive = fake.machine->AddDrive('E');
    drive.disc = fake::FakeDisc{};
    fake.log.Clear();

    EXPECT_TRUE(ControlDrive(*fake.Get().workers.devices, 'E', GetParam().code));

    EXPECT_THAT(fake.log.Lines(),
                ElementsAre(kOpenE, std::string("DeviceIoControl \\\\.\\E: ") + GetParam().logged,
                            kCloseE));
}

INSTANTIATE_TEST_SUITE_P(Codes, ControlDriveCodes,
                         ::testing::Values(CodeCase{"CheckVerify", 0x74800, "0x74800"},
                                           CodeCase{"Eject", 0x74808, "0x74808"},
                                           CodeCase{"Load", 0x7480C, "0x7480c"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ControlDrive, ADeviceThatCannotBeOpenedIsFalseAndGetsNoCommand) {
    fake::FakePlatform fake;
    fake::FakeDrive& drive = fake.machine->AddDrive('E');
    drive.disc = fake::FakeDisc{};
    drive.openFails = true;
    fake.log.Clear();

    EXPECT_FALSE(ControlDrive(*fake.Get().workers.devices, 'E', win::kIoctlDiskCheckVerify));
    EXPECT_THAT(fake.log.Lines(), ElementsAre(kOpenE));
}

TEST(ControlDrive, AFailedCommandIsFalseAndStillClosesTheDevice) {
    fake::FakePlatform fake;
    fake::FakeDrive& drive = fake.machine->AddDrive('E');
    drive.controlFails = true;
    fake.log.Clear();

    EXPECT_FALSE(ControlDrive(*fake.Get().workers.devices, 'E', win::kIoctlDiskEjectMedia));
    EXPECT_THAT(fake.log.Lines(),
                ElementsAre(kOpenE, "DeviceIoControl \\\\.\\E: 0x74808", kCloseE));
    EXPECT_FALSE(fake.machine->DriveSnapshot('E').trayOpen);
}

struct MediaCase {
    const char* name;
    bool trayOpen;
    bool disc;
    int notReadyChecks;
    bool openFails;
    bool media;
};

void PrintTo(const MediaCase& c, std::ostream* os) {
    *os << c.name;
}

class HasMediaCases : public ::testing::TestWithParam<MediaCase> {};

TEST_P(HasMediaCases, IsTrueOnlyForAReadableDiscInAClosedTray) {
    const MediaCase& c = GetParam();
    fake::FakePlatform fake;
    fake::FakeDrive& drive = fake.machine->AddDrive('E');
    drive.trayOpen = c.trayOpen;
    if (c.disc) drive.disc = fake::FakeDisc{"DATA", 0x1234, {{"a.txt", "a"}}, {}};
    drive.notReadyChecks = c.notReadyChecks;
    drive.openFails = c.openFails;

    EXPECT_EQ(HasMedia(*fake.Get().workers.devices, 'E'), c.media);
    EXPECT_THAT(fake.log.Matching("DeviceIoControl"),
                c.openFails ? std::vector<std::string>{}
                            : std::vector<std::string>{"DeviceIoControl \\\\.\\E: 0x74800"});
}

INSTANTIATE_TEST_SUITE_P(
    Drives, HasMediaCases,
    ::testing::Values(MediaCase{"DiscInClosedTray", false, true, 0, false, true},
                      MediaCase{"DiscInOpenTray", true, true, 0, false, false},
                      MediaCase{"EmptyClosedTray", false, false, 0, false, false},
                      MediaCase{"EmptyOpenTray", true, false, 0, false, false},
                      MediaCase{"DriveSpinningUp", false, true, 1, false, false},
                      MediaCase{"AccessDenied", false, true, 0, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct TrayCase {
    const char* name;
    bool (*command)(const WorkerServices&, char);
    bool trayOpenBefore;
    bool trayOpenAfter;
    const char* logged;
};

void PrintTo(const TrayCase& c, std::ostream* os) {
    *os << c.name;
}

class TrayCommands : public ::testing::TestWithParam<TrayCase> {};

TEST_P(TrayCommands, MoveTheTrayUnderTheWaitCursor) {
    const TrayCase& c = GetParam();
    fake::FakePlatform fake;
    fake.machine->AddDrive('E').trayOpen = c.trayOpenBefore;
    fake.log.Clear();

    EXPECT_TRUE(c.command(fake.Get().workers, 'E'));

    EXPECT_EQ(fake.machine->DriveSnapshot('E').trayOpen, c.trayOpenAfter);
    EXPECT_THAT(fake.log.Lines(), ElementsAre("BeginWaitCursor", kOpenE,
                                              std::string("DeviceIoControl \\\\.\\E: ") + c.logged,
                                              kCloseE, "EndWaitCursor"));
}

TEST_P(TrayCommands, RestoreTheCursorWhenTheDriveCannotBeOpened) {
    const TrayCase& c = GetParam();
    fake::FakePlatform fake;
    fake::FakeDrive& drive = fake.machine->AddDrive('E');
    drive.trayOpen = c.trayOpenBefore;
    drive.openFails = true;
    fake.log.Clear();

    EXPECT_FALSE(c.command(fake.Get().workers, 'E'));

    EXPECT_EQ(fake.machine->DriveSnapshot('E').trayOpen, c.trayOpenBefore);
    EXPECT_THAT(fake.log.Lines(), ElementsAre("BeginWaitCursor", kOpenE, "EndWaitCursor"));
}

INSTANTIATE_TEST_SUITE_P(Commands, TrayCommands,
                         ::testing::Values(TrayCase{"Eject", EjectDisc, false, true, "0x74808"},
                                           TrayCase{"Load", LoadDisc, true, false, "0x7480c"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HasMedia, ShowsNoWaitCursor) {
    fake::FakePlatform fake;
    fake.machine->AddDrive('E');
    HasMedia(*fake.Get().workers.devices, 'E');
    EXPECT_THAT(fake.log.Matching("BeginWaitCursor"), IsEmpty());
}

}  // namespace
}  // namespace dravolin

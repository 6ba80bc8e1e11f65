#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <memory>
#include <string>
#include <vector>
#include "engine/Workers.h"
#include "platform/fake/FakePlatform.h"

namespace dravolin {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr WindowHandle kOwner = 0x1001;
const std::string kCheck = "DeviceIoControl \\\\.\\E: 0x74800";
const std::string kEject = "DeviceIoControl \\\\.\\E: 0x74808";
const std::string kLoad = "DeviceIoControl \\\\.\\E: 0x7480c";

std::shared_ptr<DriveEntry> EntryFor(char letter, std::string destination = {}) {
    auto entry = std::make_shared<DriveEntry>();
    entry->letter = letter;
    entry->owner = kOwner;
    entry->destination = std::move(destination);
    return entry;
}

// Keeps every operation it is given and answers like a failed copy.
class RecordingCopy : public ShellCopy {
  public:
    int FileOperation(const Operation& op) override {
        operations.push_back(op);
        return 1;
    }
    std::vector<Operation> operations;
};

struct BodyCase {
    const char* name;
    WorkerBody body;
};

struct ComCase {
    BodyCase worker;
    bool driveOpens;
};

void PrintTo(const ComCase& c, std::ostream* os) {
    *os << c.worker.name << (c.driveOpens ? "" : " on a drive that cannot be opened");
}

class EveryWorker : public ::testing::TestWithParam<ComCase> {};

TEST_P(EveryWorker, InitialisesComFirstAndUninitialisesItLastWhateverHappens) {
    const ComCase& c = GetParam();
    fake::FakePlatform fake;
    fake::FakeDrive& drive = fake.machine->AddDrive('E');
    drive.disc = fake::FakeDisc{"DATA", 7, {{"a.txt", "a"}}, {}};
    drive.openFails = !c.driveOpens;
    fake.machine->AddVolume('C');
    auto entry = EntryFor('E', "C:\\Copies\\");
    entry->archive = std::make_shared<const ArchiveSettings>();  // read by the archive worker only
    fake.log.Clear();

    EXPECT_EQ(c.worker.body(*entry, fake.Get().workers), 0u);

    const std::vector<std::string> lines = fake.log.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "CoInitialize");
    EXPECT_EQ(lines.back(), "CoUninitialize");
    EXPECT_EQ(fake.log.Matching("CoInitialize").size(), 1u);
    EXPECT_EQ(fake.log.Matching("CoUninitialize").size(), 1u);
}

const BodyCase kBodies[] = {{"Eject", EjectThread},
                            {"CloseTray", CloseTrayThread},
                            {"Copy", CopyThread},
                            {"Archive", ArchiveThread}};

INSTANTIATE_TEST_SUITE_P(Workers, EveryWorker,
                         ::testing::Values(ComCase{kBodies[0], true}, ComCase{kBodies[0], false},
                                           ComCase{kBodies[1], true}, ComCase{kBodies[1], false},
                                           ComCase{kBodies[2], true}, ComCase{kBodies[2], false},
                                           ComCase{kBodies[3], true}, ComCase{kBodies[3], false}),
                         [](const auto& info) {
                             return std::string(info.param.worker.name) +
                                    (info.param.driveOpens ? "" : "OnADriveThatCannotBeOpened");
                         });

struct TrayCase {
    const char* name;
    bool trayOpen;
    bool disc;
    std::vector<std::string> commands;
    bool trayOpenAfter;
};

void PrintTo(const TrayCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseTray : public ::testing::TestWithParam<TrayCase> {};

TEST_P(CloseTray, LoadsOnlyWhenNoReadableDiscIsFound) {
    const TrayCase& c = GetParam();
    fake::FakePlatform fake;
    fake::FakeDrive& drive = fake.machine->AddDrive('E');
    drive.trayOpen = c.trayOpen;
    if (c.disc) drive.disc = fake::FakeDisc{"DATA", 7, {}, {}};
    auto entry = EntryFor('E');

    CloseTrayThread(*entry, fake.Get().workers);

    EXPECT_EQ(fake.log.Matching("DeviceIoControl"), c.commands);
    EXPECT_EQ(fake.machine->DriveSnapshot('E').trayOpen, c.trayOpenAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, CloseTray,
    ::testing::Values(TrayCase{"DiscInClosedTray", false, true, {kCheck}, false},
                      TrayCase{"EmptyOpenTray", true, false, {kCheck, kLoad}, false},
                      TrayCase{"DiscInOpenTray", true, true, {kCheck, kLoad}, false},
                      TrayCase{"EmptyClosedTray", false, false, {kCheck, kLoad}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CloseTrayThread, ADiscAlreadyInShowsNoWaitCursor) {
    fake::FakePlatform fake;
    fake.machine->AddDrive('E').disc = fake::FakeDisc{"DATA", 7, {}, {}};
    auto entry = EntryFor('E');
    CloseTrayThread(*entry, fake.Get().workers);
    EXPECT_THAT(fake.log.Matching("BeginWaitCursor"), IsEmpty());
}

TEST(EjectThread, OpensTheTrayUnderTheWaitCursor) {
    fake::FakePlatform fake;
    fake.machine->AddDrive('E').disc = fake::FakeDisc{"DATA", 7, {}, {}};
    auto entry = EntryFor('E');
    fake.log.Clear();

    EjectThread(*entry, fake.Get().workers);

    EXPECT_TRUE(fake.machine->DriveSnapshot('E').trayOpen);
    EXPECT_THAT(
        fake.log.Lines(),
        ElementsAre("CoInitialize", "BeginWaitCursor", "CreateFileA \\\\.\\E: 0x80000000 3 3",
                    kEject, "CloseHandle \\\\.\\E:", "EndWaitCursor", "CoUninitialize"));
}

TEST(CopyThread, HandsTheShellDoubleNulListsAndKeepsTheNulsInTheRecord) {
    fake::FakePlatform fake;
    auto copy = std::make_shared<RecordingCopy>();
    WorkerServices services = fake.Get().workers;
    services.copy = copy;
    auto entry = EntryFor('E', "C:\\Copies\\");

    EXPECT_EQ(CopyThread(*entry, services), 0u);

    const std::string twoNuls(2, '\0');
    ASSERT_EQ(copy->operations.size(), 1u);
    const ShellCopy::Operation& op = copy->operations[0];
    EXPECT_EQ(op.owner, kOwner);
    EXPECT_EQ(op.function, win::kFoCopy);
    EXPECT_EQ(op.from, std::string("E:\\*.*") + '\0');
    EXPECT_EQ(op.to, "C:\\Copies\\" + twoNuls);
    EXPECT_EQ(op.flags, 0u);
    EXPECT_EQ(entry->destination, "C:\\Copies\\" + twoNuls);
}

TEST(CopyThread, CopiesTheWholeDiscIntoTheTargetFolder) {
    fake::FakePlatform fake;
    fake.machine->AddDrive('F').disc =
        fake::FakeDisc{"PHOTOS", 9, {{"a.jpg", "A"}, {"Trip\\b.jpg", "B"}}, {}};
    fake.machine->AddVolume('C');
    fake.machine->AddFolder("C:\\Copies");
    auto entry = EntryFor('F', "C:\\Copies\\");

    CopyThread(*entry, fake.Get().workers);

    EXPECT_EQ(fake.machine->FileContent("C:\\Copies\\a.jpg"), "A");
    EXPECT_EQ(fake.machine->FileContent("C:\\Copies\\Trip\\b.jpg"), "B");
}

struct ComCounts {
    int initialized = 0;
    int uninitialized = 0;
};

// Counts the calls it gets; a worker holds the only share of it.
class CountingCom : public ComRuntime {
  public:
    explicit CountingCom(ComCounts& counts) : counts_(counts) {}
    void Initialize() override { ++counts_.initialized; }
    void Uninitialize() override { ++counts_.uninitialized; }

  private:
    ComCounts& counts_;
};

TEST(StartWorker, TheJobKeepsTheRecordAndTheServicesAlive) {
    fake::FakePlatform fake;
    fake.machine->AddDrive('E').disc = fake::FakeDisc{"DATA", 7, {}, {}};
    auto entry = EntryFor('E');
    std::weak_ptr<DriveEntry> record = entry;
    ComCounts counts;
    auto com = std::make_shared<CountingCom>(counts);
    std::weak_ptr<CountingCom> comWatch = com;

    std::unique_ptr<WorkerThread> worker;
    {
        WorkerServices services = fake.Get().workers;
        services.com = std::move(com);
        worker = StartWorker(fake.threads, EjectThread, std::move(entry), services);
    }
    ASSERT_NE(worker, nullptr);
    EXPECT_FALSE(record.expired());
    ASSERT_FALSE(comWatch.expired());
    EXPECT_FALSE(fake.machine->DriveSnapshot('E').trayOpen);  // nothing runs before the thread

    fake.threads.Finish(0);

    EXPECT_TRUE(worker->HasEnded());
    EXPECT_EQ(fake.threads.At(0).exitCode, 0u);
    EXPECT_TRUE(fake.machine->DriveSnapshot('E').trayOpen);
    EXPECT_EQ(counts.initialized, 1);
    EXPECT_EQ(counts.uninitialized, 1);
}

TEST(StartWorker, IsNullWhenTheThreadCannotBeCreated) {
    fake::FakePlatform fake;
    fake.machine->AddDrive('E').disc = fake::FakeDisc{"DATA", 7, {}, {}};
    fake.threads.FailCreates(1);

    EXPECT_EQ(StartWorker(fake.threads, EjectThread, EntryFor('E'), fake.Get().workers), nullptr);
    EXPECT_FALSE(fake.machine->DriveSnapshot('E').trayOpen);
}

}  // namespace
}  // namespace dravolin

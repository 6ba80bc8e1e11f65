// Registry values as the core sees them on Linux.
#include <gtest/gtest.h>
#include "LinuxTestSupport.h"
#include "platform/linux/LinuxRegistry.h"
#include "shell/AutoPlay.h"

namespace dravolin::lnx::test {
namespace {

constexpr auto kUser = win::RootKey::CurrentUser;
constexpr auto kMachine = win::RootKey::LocalMachine;
const std::string kKey = "Software\\Dravolin";

class RecordingHook : public AutoPlayHook {
  public:
    void OnCancelValueSet() override { events += "set "; }
    void OnCancelValueDeleted() override { events += "deleted "; }
    std::string events;
};

class Registries : public ::testing::Test {
  protected:
    TempFolder temp;
    std::shared_ptr<RecordingHook> hook = std::make_shared<RecordingHook>();
    LinuxRegistry registry{temp / "dravolin", hook};
};

TEST_F(Registries, AStringWithoutNulReadsBackWithoutNul) {
    ASSERT_EQ(registry.SetValue(kUser, kKey, "Destination00", win::kRegSz, "/home/u/discs\\"), 0);
    const Registry::Value value = registry.GetValue(kUser, kKey, "Destination00", 260);
    EXPECT_EQ(value.result, win::kErrorSuccess);
    EXPECT_EQ(value.type, win::kRegSz);
    EXPECT_EQ(value.data, "/home/u/discs\\");
}

TEST_F(Registries, ValuesSurviveIntoAnotherInstance) {
    registry.SetValue(kUser, kKey, "Destination00", win::kRegSz, std::string("x\0y", 3));
    LinuxRegistry later(temp / "dravolin");
    EXPECT_EQ(later.GetValue(kUser, kKey, "destination00", 260).data, std::string("x\0y", 3));
}

struct CapacityCase {
    std::size_t stored;
    std::uint32_t capacity;
    std::int32_t result;
};

class Capacities : public Registries, public ::testing::WithParamInterface<CapacityCase> {};

TEST_P(Capacities, LongerDataThanTheCapacityIsMoreData) {
    const CapacityCase& c = GetParam();
    registry.SetValue(kUser, kKey, "V", win::kRegSz, std::string(c.stored, 'a'));
    const Registry::Value value = registry.GetValue(kUser, kKey, "V", c.capacity);
    EXPECT_EQ(value.result, c.result);
    EXPECT_EQ(value.type, win::kRegSz);
    EXPECT_EQ(value.data.size(), c.result == win::kErrorSuccess ? c.stored : 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, Capacities,
                         ::testing::Values(CapacityCase{0, 260, win::kErrorSuccess},
                                           CapacityCase{260, 260, win::kErrorSuccess},
                                           CapacityCase{261, 260, win::kErrorMoreData},
                                           CapacityCase{1, 0, win::kErrorMoreData}));

TEST_F(Registries, MissingValuesAndKeysAreNotFound) {
    EXPECT_EQ(registry.GetValue(kUser, kKey, "Destination00", 260).result, win::kErrorFileNotFound);
    registry.SetValue(kUser, kKey, "A", win::kRegSz, "a");
    EXPECT_EQ(registry.GetValue(kUser, kKey, "B", 260).result, win::kErrorFileNotFound);
    EXPECT_EQ(registry.GetValue(kUser, "Software\\Else", "A", 260).result, win::kErrorFileNotFound);
    EXPECT_EQ(registry.DeleteValue(kUser, kKey, "B"), win::kErrorFileNotFound);
}

TEST_F(Registries, SettingAgainInAnotherCaseKeepsOneValueWithItsFirstName) {
    registry.SetValue(kUser, kKey, "Destination00", win::kRegSz, "one");
    registry.SetValue(kUser, "SOFTWARE\\DRAVOLIN", "DESTINATION00", 3, "two");
    const ParsedStore stored = registry.File().Load();
    ASSERT_EQ(stored.records.size(), 1u);
    EXPECT_EQ(stored.records[0].name, "Destination00");
    EXPECT_EQ(stored.records[0].type, 3u);
    EXPECT_EQ(stored.records[0].data, "two");
}

TEST_F(Registries, DeletingRemovesOnlyThatValue) {
    registry.SetValue(kUser, kKey, "A", win::kRegSz, "a");
    registry.SetValue(kUser, kKey, "B", win::kRegSz, "b");
    EXPECT_EQ(registry.DeleteValue(kUser, kKey, "a"), win::kErrorSuccess);
    EXPECT_EQ(registry.GetValue(kUser, kKey, "A", 260).result, win::kErrorFileNotFound);
    EXPECT_EQ(registry.GetValue(kUser, kKey, "B", 260).data, "b");
}

TEST_F(Registries, MachineValuesStayInMemoryAndTheAutoPlayValueIsObserved) {
    ASSERT_EQ(
        registry.SetValue(kMachine, kCancelAutoplayKey, kCancelAutoplayValue, win::kRegSz, ""), 0);
    EXPECT_EQ(registry.GetValue(kMachine, kCancelAutoplayKey, kCancelAutoplayValue, 260).result,
              win::kErrorSuccess);
    EXPECT_TRUE(registry.File().Load().records.empty()) << "machine values reached the file";
    registry.SetValue(kMachine, "SOFTWARE\\Other", kCancelAutoplayValue, win::kRegSz, "");
    ASSERT_EQ(registry.DeleteValue(kMachine, kCancelAutoplayKey, kCancelAutoplayValue), 0);
    EXPECT_EQ(registry.DeleteValue(kMachine, kCancelAutoplayKey, kCancelAutoplayValue),
              win::kErrorFileNotFound);
    EXPECT_EQ(hook->events, "set deleted ");
}

TEST_F(Registries, AWriteThatCannotBeMadeReportsAnError) {
    LinuxRegistry blocked("/proc/dravolin-cannot-exist");
    EXPECT_NE(blocked.SetValue(kUser, kKey, "A", win::kRegSz, "a"), win::kErrorSuccess);
    EXPECT_EQ(blocked.GetValue(kUser, kKey, "A", 260).result, win::kErrorFileNotFound);
}

}  // namespace
}  // namespace dravolin::lnx::test

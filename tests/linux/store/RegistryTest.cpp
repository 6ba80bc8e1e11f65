// Registry values as the core sees them on Linux.
#include <sys/resource.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <csignal>
#include "LinuxTestSupport.h"
#include "StoreRewrites.h"
#include "platform/linux/store/LinuxRegistry.h"
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
    ASSERT_EQ(registry.Flush(), 0);
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
    ASSERT_EQ(registry.Flush(), 0);
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
    ASSERT_EQ(registry.Flush(), 0);
    EXPECT_EQ(registry.GetValue(kMachine, kCancelAutoplayKey, kCancelAutoplayValue, 260).result,
              win::kErrorSuccess);
    EXPECT_TRUE(registry.File().Load().records.empty()) << "machine values reached the file";
    registry.SetValue(kMachine, "SOFTWARE\\Other", kCancelAutoplayValue, win::kRegSz, "");
    ASSERT_EQ(registry.DeleteValue(kMachine, kCancelAutoplayKey, kCancelAutoplayValue), 0);
    EXPECT_EQ(registry.DeleteValue(kMachine, kCancelAutoplayKey, kCancelAutoplayValue),
              win::kErrorFileNotFound);
    EXPECT_EQ(hook->events, "set deleted ");
}

// What the store's listener heard, in order.
class RecordingListener : public StoreListener {
  public:
    void OnWritePending() override { ++pending; }
    void OnWriteFailed(const std::string& path, int error) override {
        failures.push_back(path + ": " + std::to_string(error));
    }
    void OnDamagedKept(const std::string& path, const std::string& backup) override {
        backups.push_back(path + " -> " + backup);
    }
    int pending = 0;
    std::vector<std::string> failures;
    std::vector<std::string> backups;
};

std::string ValueName(int index) {
    return "Destination" + std::string(index < 10 ? "0" : "") + std::to_string(index);
}

// Writes what SaveHistory writes: Destination00 to Destination19, each `prefix` + its index.
void SaveHistory(Registry& registry, const std::string& prefix, int killAfter = -1) {
    for (int i = 0; i < 20; ++i) {
        const std::string name = ValueName(i);
        registry.SetValue(kUser, kKey, name, win::kRegSz, prefix + std::to_string(i) + "/");
        if (i == killAfter) ::raise(SIGKILL);
    }
}

// The prefix every one of the twenty values `reader` reads has, or "mixed".
std::string SavedHistory(Registry& reader) {
    std::string prefix;
    for (int i = 0; i < 20; ++i) {
        const std::string name = ValueName(i);
        const std::string data = reader.GetValue(kUser, kKey, name, 260).data;
        const std::string suffix = std::to_string(i) + "/";
        if (data.size() < suffix.size() || data.substr(data.size() - suffix.size()) != suffix) {
            return "mixed";
        }
        const std::string own = data.substr(0, data.size() - suffix.size());
        if (i > 0 && own != prefix) return "mixed";
        prefix = own;
    }
    return prefix;
}

std::string SavedHistory(const std::string& folder) {
    LinuxRegistry reader(folder);
    return SavedHistory(reader);
}

TEST_F(Registries, WritesWaitForTheCommitWhichWritesTheFileOnce) {
    RecordingListener listener;
    registry.SetStoreListener(&listener);
    MakeFolder(temp / "dravolin");
    StoreRewrites rewrites(temp / "dravolin");
    ASSERT_TRUE(rewrites.Watching());

    SaveHistory(registry, "/new/");
    EXPECT_EQ(rewrites.Take(), 0) << "written before the commit";
    EXPECT_EQ(listener.pending, 20);
    // Reads see what waits.
    EXPECT_EQ(registry.GetValue(kUser, kKey, "Destination07", 260).data, "/new/7/");
    EXPECT_EQ(LinuxRegistry(temp / "dravolin").GetValue(kUser, kKey, "Destination07", 260).result,
              win::kErrorFileNotFound);

    EXPECT_EQ(registry.Flush(), 0);
    EXPECT_EQ(rewrites.Take(), 1);
    EXPECT_EQ(SavedHistory(temp / "dravolin"), "/new/");
    EXPECT_EQ(registry.Flush(), 0);
    EXPECT_EQ(rewrites.Take(), 0) << "a commit with nothing waiting wrote the file";
    EXPECT_TRUE(listener.failures.empty());
}

// The history's load is twenty reads: one read of the file, however large it is, until the file
// is written again.
TEST_F(Registries, TheFileIsReadOnceUntilItChanges) {
    SaveHistory(registry, "/old/");
    ASSERT_EQ(registry.Flush(), 0);
    StoreOpens opens(temp / "dravolin");
    ASSERT_TRUE(opens.Watching());
    LinuxRegistry reader(temp / "dravolin");
    EXPECT_EQ(SavedHistory(reader), "/old/");
    EXPECT_EQ(opens.Take(), 1);
    SaveHistory(registry, "/new/");  // another instance's save
    ASSERT_EQ(registry.Flush(), 0);
    opens.Take();
    EXPECT_EQ(SavedHistory(reader), "/new/");
    EXPECT_EQ(opens.Take(), 1);
    EXPECT_EQ(SavedHistory(reader), "/new/");
    EXPECT_EQ(opens.Take(), 0);
}

TEST_F(Registries, ASaveKilledMidwayLeavesTheOldHistory) {
    SaveHistory(registry, "/old/");
    ASSERT_EQ(registry.Flush(), 0);
    for (int killAfter : {0, 9, 18}) {
        const int status = RunChild([&] {
            LinuxRegistry child(temp / "dravolin");
            SaveHistory(child, "/new/", killAfter);
            return 0;
        });
        ASSERT_EQ(status, 128 + SIGKILL);
        EXPECT_EQ(SavedHistory(temp / "dravolin"), "/old/") << "killed after " << killAfter;
    }
    const int status = RunChild([&] {
        LinuxRegistry child(temp / "dravolin");
        SaveHistory(child, "/new/");
        return child.Flush();
    });
    ASSERT_EQ(status, 0);
    EXPECT_EQ(SavedHistory(temp / "dravolin"), "/new/");
}

TEST_F(Registries, ASaveThatCannotBeWrittenWholeLeavesTheOldHistory) {
    SaveHistory(registry, "/old/");
    ASSERT_EQ(registry.Flush(), 0);
    struct stat st {};
    ASSERT_EQ(::stat((temp / "dravolin/store").c_str(), &st), 0);
    // Room for a few longer values, not for twenty.
    const auto limit = static_cast<rlim_t>(st.st_size + 3 * 8);
    const int status = RunChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit room{limit, RLIM_INFINITY};
        if (::setrlimit(RLIMIT_FSIZE, &room) != 0) return 2;
        LinuxRegistry child(temp / "dravolin");
        SaveHistory(child, "/longer-new/");
        return child.Flush() == EFBIG ? 0 : 1;
    });
    ASSERT_EQ(status, 0);
    EXPECT_EQ(SavedHistory(temp / "dravolin"), "/old/");
}

TEST_F(Registries, AnotherInstanceWritingInBetweenLosesNothing) {
    LinuxRegistry other(temp / "dravolin");
    registry.SetValue(kUser, kKey, "Mine", win::kRegSz, "mine");
    registry.SetValue(kUser, kKey, "Both", win::kRegSz, "mine");
    other.SetValue(kUser, kKey, "Theirs", win::kRegSz, "theirs");
    other.SetValue(kUser, kKey, "Both", win::kRegSz, "theirs");
    ASSERT_EQ(other.Flush(), 0);
    EXPECT_EQ(registry.GetValue(kUser, kKey, "Theirs", 260).data, "theirs");
    EXPECT_EQ(registry.GetValue(kUser, kKey, "Both", 260).data, "mine");
    ASSERT_EQ(registry.Flush(), 0);

    LinuxRegistry later(temp / "dravolin");
    EXPECT_EQ(later.GetValue(kUser, kKey, "Mine", 260).data, "mine");
    EXPECT_EQ(later.GetValue(kUser, kKey, "Theirs", 260).data, "theirs");
    EXPECT_EQ(later.GetValue(kUser, kKey, "Both", 260).data, "mine");  // the last commit's
}

TEST_F(Registries, WhatWaitsIsCommittedWhenTheRegistryGoes) {
    {
        LinuxRegistry going(temp / "dravolin");
        SaveHistory(going, "/at-teardown/");
    }
    EXPECT_EQ(SavedHistory(temp / "dravolin"), "/at-teardown/");
}

TEST_F(Registries, AFailedCommitIsToldAndWhatWaitsIsWrittenByTheNextOne) {
    RecordingListener listener;
    registry.SetStoreListener(&listener);
    WriteFile(temp / "dravolin", "a file where the folder belongs");
    ASSERT_EQ(registry.SetValue(kUser, kKey, "A", win::kRegSz, "a"), win::kErrorSuccess);
    EXPECT_EQ(registry.GetValue(kUser, kKey, "A", 260).data, "a");
    EXPECT_NE(registry.Flush(), 0);
    // The failed write's "a" waits in the writer: a newer value not handed over yet wins.
    registry.SetValue(kUser, kKey, "A", win::kRegSz, "a2");
    EXPECT_EQ(registry.GetValue(kUser, kKey, "A", 260).data, "a2");
    registry.SetValue(kUser, kKey, "B", win::kRegSz, "b");
    EXPECT_NE(registry.Flush(), 0);
    ASSERT_EQ(listener.failures.size(), 2u);
    EXPECT_EQ(listener.failures[0], temp / "dravolin/store" + ": " + std::to_string(ENOTDIR));

    ::unlink((temp / "dravolin").c_str());
    EXPECT_EQ(registry.Flush(), 0);
    LinuxRegistry later(temp / "dravolin");
    EXPECT_EQ(later.GetValue(kUser, kKey, "A", 260).data, "a2");
    EXPECT_EQ(later.GetValue(kUser, kKey, "B", 260).data, "b");
    EXPECT_EQ(listener.failures.size(), 2u);
}

TEST_F(Registries, ADamagedStoreKeptAsBackupIsToldOnceRewritten) {
    RecordingListener listener;
    registry.SetStoreListener(&listener);
    MakeFolder(temp / "dravolin");
    WriteFile(temp / "dravolin/store", SerializeStore(SampleStoreRecords()) + "garbage", 0600);
    registry.SetValue(kUser, kKey, "A", win::kRegSz, "a");
    ASSERT_EQ(registry.Flush(), 0);
    registry.SetValue(kUser, kKey, "B", win::kRegSz, "b");
    ASSERT_EQ(registry.Flush(), 0);  // the file is whole now: nothing more to tell
    const std::string store = temp / "dravolin/store";
    EXPECT_EQ(listener.backups, std::vector<std::string>{store + " -> " + store + ".bak.1"});
    EXPECT_TRUE(listener.failures.empty());
}

TEST_F(Registries, ADeletionWaitsLikeAWrite) {
    registry.SetValue(kUser, kKey, "A", win::kRegSz, "a");
    ASSERT_EQ(registry.Flush(), 0);
    EXPECT_EQ(registry.DeleteValue(kUser, kKey, "A"), win::kErrorSuccess);
    EXPECT_EQ(registry.GetValue(kUser, kKey, "A", 260).result, win::kErrorFileNotFound);
    EXPECT_EQ(LinuxRegistry(temp / "dravolin").GetValue(kUser, kKey, "A", 260).data, "a");
    EXPECT_EQ(registry.DeleteValue(kUser, kKey, "A"), win::kErrorFileNotFound);
    ASSERT_EQ(registry.Flush(), 0);
    EXPECT_EQ(LinuxRegistry(temp / "dravolin").GetValue(kUser, kKey, "A", 260).result,
              win::kErrorFileNotFound);
}

}  // namespace
}  // namespace dravolin::lnx::test

// The store semantics the history tests rely on: exact bytes, letter case, over-long data and
// deletion that keeps the key.
#include <gtest/gtest.h>
#include "platform/fake/FakeRegistry.h"

namespace dravolin::fake {
namespace {

constexpr auto kUser = win::RootKey::CurrentUser;
const std::string kKey = "Software\\Dravolin";

TEST(FakeRegistry, StoresExactBytesAndIgnoresLetterCase) {
    CallLog log;
    FakeRegistry registry(&log);
    const std::string bytes("C:\\\0x", 5);
    EXPECT_EQ(registry.SetValue(kUser, kKey, "Destination00", win::kRegSz, bytes), 0);
    EXPECT_TRUE(registry.KeyExists(kUser, "SOFTWARE\\dravolin"));
    EXPECT_FALSE(registry.KeyExists(win::RootKey::LocalMachine, kKey));

    const auto value = registry.GetValue(kUser, "software\\DRAVOLIN", "destination00", 260);
    EXPECT_EQ(value.result, 0);
    EXPECT_EQ(value.type, win::kRegSz);
    EXPECT_EQ(value.data, bytes);
    EXPECT_EQ(registry.Names(kUser, kKey), (std::set<std::string>{"Destination00"}));
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"SHSetValueA HKCU Software\\Dravolin Destination00 1 5",
                                        "SHGetValueA HKCU software\\DRAVOLIN destination00"}));
}

TEST(FakeRegistry, ReadResults) {
    CallLog log;
    FakeRegistry registry(&log);
    registry.Put(kUser, kKey, "Long", win::kRegSz, std::string(261, 'a'));
    registry.Put(kUser, kKey, "Fits", 3, std::string(260, 'b'));
    struct Case {
        const char* key;
        const char* name;
        std::int32_t result;
        std::uint32_t type;
        std::size_t size;
    };
    const Case cases[] = {
        {"Software\\Other", "Fits", win::kErrorFileNotFound, 0, 0},
        {"Software\\Dravolin", "Missing", win::kErrorFileNotFound, 0, 0},
        {"Software\\Dravolin", "Long", win::kErrorMoreData, win::kRegSz, 0},
        {"Software\\Dravolin", "Fits", win::kErrorSuccess, 3, 260},
    };
    for (const Case& c : cases) {
        const auto value = registry.GetValue(kUser, c.key, c.name, 260);
        EXPECT_EQ(value.result, c.result) << c.name;
        EXPECT_EQ(value.type, c.type) << c.name;
        EXPECT_EQ(value.data.size(), c.size) << c.name;
    }
}

TEST(FakeRegistry, DeleteKeepsTheKeyAndFailingNamesRefuse) {
    CallLog log;
    FakeRegistry registry(&log);
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    constexpr auto kMachine = win::RootKey::LocalMachine;
    registry.SetValue(kMachine, key, "v", win::kRegSz, "");
    EXPECT_EQ(registry.Find(kMachine, key, "V"), (FakeRegistry::Stored{win::kRegSz, ""}));
    EXPECT_EQ(registry.DeleteValue(kMachine, key, "V"), 0);
    EXPECT_EQ(registry.DeleteValue(kMachine, key, "v"), win::kErrorFileNotFound);
    EXPECT_TRUE(registry.KeyExists(kMachine, key));
    EXPECT_TRUE(registry.Names(kMachine, key).empty());
    EXPECT_EQ(log.Matching("SHDeleteValueA HKLM").size(), 2u);

    registry.failingNames = {"Destination01"};
    registry.Put(kUser, kKey, "Destination01", win::kRegSz, "old");
    EXPECT_EQ(registry.SetValue(kUser, kKey, "Destination01", win::kRegSz, "new"), 5);
    EXPECT_EQ(registry.DeleteValue(kUser, kKey, "Destination01"), 5);
    EXPECT_EQ(registry.Find(kUser, kKey, "Destination01")->data, "old");
    EXPECT_EQ(registry.SetValue(kUser, kKey, "Destination02", win::kRegSz, "ok"), 0);
}

}  // namespace
}  // namespace dravolin::fake

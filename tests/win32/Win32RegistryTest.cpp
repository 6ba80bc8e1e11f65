// The registry service against the real (Wine) registry, read back raw.
#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "platform/win32/Win32Registry.h"

namespace dravolin::win32::test {
namespace {

constexpr const char* kKey = "Software\\Dravolin Win32 Test";
constexpr const char* kSubKey = "Software\\Dravolin Win32 Test\\CancelAutoplay\\CLSID";

class Win32RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { DeleteKeyTree(HKEY_CURRENT_USER, kKey); }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, kKey); }
    Win32Registry registry;
};

struct StoredText {
    const char* name;
    std::string text;
};

class StoredTexts : public Win32RegistryTest, public ::testing::WithParamInterface<StoredText> {};

TEST_P(StoredTexts, AreWrittenAsTheirBytesWithoutNulAndTypeOne) {
    const std::string& text = GetParam().text;
    ASSERT_EQ(
        registry.SetValue(win::RootKey::CurrentUser, kKey, "Destination00", win::kRegSz, text),
        ERROR_SUCCESS);
    const RawValue raw = ReadRaw(HKEY_CURRENT_USER, kKey, "Destination00");
    ASSERT_EQ(raw.status, ERROR_SUCCESS);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.bytes, text);
    EXPECT_EQ(raw.bytes.size(), text.size());
}

INSTANTIATE_TEST_SUITE_P(Win32Registry, StoredTexts,
                         ::testing::Values(StoredText{"Folder", "C:\\Data\\Discs\\"},
                                           StoredText{"Blanks", "D:\\Two  Blanks \\"},
                                           StoredText{"HighBytes", std::string("C:\\Caf\xE9\\")},
                                           StoredText{"Empty", std::string()}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Win32RegistryTest, ReadsTheBytesTypeAndCountOfAValue) {
    WriteRaw(HKEY_CURRENT_USER, kKey, "Destination03", REG_SZ, "E:\\Copies\\");
    const Registry::Value value =
        registry.GetValue(win::RootKey::CurrentUser, kKey, "Destination03", win::kMaxPath);
    EXPECT_EQ(value.result, ERROR_SUCCESS);
    EXPECT_EQ(value.type, static_cast<std::uint32_t>(REG_SZ));
    EXPECT_EQ(value.data.substr(0, value.data.find('\0')), "E:\\Copies\\");
}

TEST_F(Win32RegistryTest, AValueLongerThanTheCapacityReadsAsMoreData) {
    WriteRaw(HKEY_CURRENT_USER, kKey, "Long", REG_SZ, std::string(300, 'x'));
    const Registry::Value value =
        registry.GetValue(win::RootKey::CurrentUser, kKey, "Long", win::kMaxPath);
    EXPECT_EQ(value.result, ERROR_MORE_DATA);
}

TEST_F(Win32RegistryTest, AMissingValueOrKeyReadsAsNotFound) {
    EXPECT_EQ(registry.GetValue(win::RootKey::CurrentUser, kKey, "Nothing", win::kMaxPath).result,
              ERROR_FILE_NOT_FOUND);
    WriteRaw(HKEY_CURRENT_USER, kKey, "Other", REG_SZ, "x");
    EXPECT_EQ(registry.GetValue(win::RootKey::CurrentUser, kKey, "Nothing", win::kMaxPath).result,
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32RegistryTest, AnEmptyStringIsStoredWithNoBytesAndDeletingItKeepsTheKey) {
    const std::string subKey = kSubKey;
    ASSERT_EQ(registry.SetValue(win::RootKey::CurrentUser, subKey, kAutoplayValue, win::kRegSz,
                                std::string()),
              ERROR_SUCCESS);
    const RawValue raw = ReadRaw(HKEY_CURRENT_USER, subKey, kAutoplayValue);
    EXPECT_EQ(raw.status, ERROR_SUCCESS);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.bytes.size(), 0u);

    EXPECT_EQ(registry.DeleteValue(win::RootKey::CurrentUser, subKey, kAutoplayValue),
              ERROR_SUCCESS);
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, subKey, kAutoplayValue).status, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, subKey));
}

TEST_F(Win32RegistryTest, TheMachineRootIsHkeyLocalMachine) {
    const std::string subKey = kKey;
    DeleteKeyTree(HKEY_LOCAL_MACHINE, subKey);
    ASSERT_EQ(registry.SetValue(win::RootKey::LocalMachine, subKey, "Value", win::kRegSz, "m"),
              ERROR_SUCCESS);
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, subKey, "Value").bytes, "m");
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, subKey, "Value").status, ERROR_FILE_NOT_FOUND);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, subKey);
}

}  // namespace
}  // namespace dravolin::win32::test

// The history of target folders over several runs of Dravolin.exe, with the real extended combo
// box of comctl32 and the real (Wine) registry.
#include <gtest/gtest.h>

#include <vector>
#include "DravolinProcess.h"
#include "Win32TestSupport.h"
#include "app/Resource.h"

namespace dravolin::win32::test {
namespace {

std::vector<std::string> Entries(HWND combo) {
    std::vector<std::string> entries;
    for (int i = 0; i < ComboCount(combo); ++i) entries.push_back(ComboItemText(combo, i));
    return entries;
}

std::string Stored(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "Destination%02d", index);
    const RawValue value = ReadRaw(HKEY_CURRENT_USER, kHistoryKey, name);
    return value.status == ERROR_SUCCESS ? value.bytes : "<missing>";
}

// A store holding a text twice: two programs closed one after the other, each saving its own
// list over the other's, or a load stopped early that left stale higher values behind. The
// later copy's position lies past the end of the list once the earlier copy is gone; comctl32
// refuses such a position, and a history lost at one start is saved lost at the next close.
TEST(History, AStoreHoldingATextTwiceKeepsEveryEntryOverRestarts) {
    const std::string a = "C:\\Discs\\A\\";
    const std::string b = "C:\\Discs\\B\\";
    DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination00", REG_SZ, a);
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination01", REG_SZ, b);
    WriteRaw(HKEY_CURRENT_USER, kHistoryKey, "Destination02", REG_SZ, a);

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        DravolinProcess program;
        ASSERT_NE(program.Dialog(), nullptr) << program.Failure();
        HWND combo = ::GetDlgItem(program.Dialog(), IDC_TARGET);
        EXPECT_EQ(Entries(combo), (std::vector<std::string>{b, a}));
        EXPECT_EQ(TextOf(combo), b);
        EXPECT_EQ(program.Close(), std::optional<DWORD>(0));
        EXPECT_EQ(Stored(0), b);
        EXPECT_EQ(Stored(1), a);
    }
    DeleteKeyTree(HKEY_CURRENT_USER, kHistoryKey);
}

}  // namespace
}  // namespace dravolin::win32::test

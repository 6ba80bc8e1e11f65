#include <gtest/gtest.h>
#include <cstdint>
#include <set>
#include <string>
#include <vector>
#include "target/DestinationHistory.h"
#include "tests/core/TargetFixture.h"

namespace dravolin {
namespace {

using StoredValue = fake::FakeRegistry::Stored;
using HistoryStore = TargetFixture;

TEST_F(HistoryStore, SaveWritesEachEntryAsAStringWithoutNul) {
    Fill({"C:\\Data\\", "D:\\\xC4\xE8\xF1\xEA\xE8\\", "E:\\"});
    SaveHistory(dialog);
    EXPECT_EQ(Stored(0), (StoredValue{win::kRegSz, "C:\\Data\\"}));
    EXPECT_EQ(Stored(1), (StoredValue{win::kRegSz, "D:\\\xC4\xE8\xF1\xEA\xE8\\"}));
    EXPECT_EQ(Stored(2), (StoredValue{win::kRegSz, "E:\\"}));
    EXPECT_EQ(platform.registry.Names(win::RootKey::CurrentUser, kHistoryKey),
              (std::set<std::string>{"Destination00", "Destination01", "Destination02"}));
    EXPECT_EQ(Log("SHSetValueA"),
              (std::vector<std::string>{"SHSetValueA HKCU Software\\Dravolin Destination00 1 8",
                                        "SHSetValueA HKCU Software\\Dravolin Destination01 1 9",
                                        "SHSetValueA HKCU Software\\Dravolin Destination02 1 3"}));
}

TEST_F(HistoryStore, SaveKeepsValuesBeyondTheCountAndOtherValues) {
    StoreAll(Folders(6));
    platform.registry.Put(win::RootKey::CurrentUser, kHistoryKey, "Other", 4, "\x01\x02");
    Fill({"X:\\", "Y:\\"});
    SaveHistory(dialog);
    EXPECT_EQ(StoredData(0), "X:\\");
    EXPECT_EQ(StoredData(1), "Y:\\");
    for (int i = 2; i < 6; ++i) EXPECT_EQ(StoredData(i), Folder(i)) << i;
    EXPECT_EQ(platform.registry.Find(win::RootKey::CurrentUser, kHistoryKey, "Other"),
              (StoredValue{4, "\x01\x02"}));
    EXPECT_TRUE(Log("SHDeleteValueA").empty());
}

TEST_F(HistoryStore, AFailedWriteDoesNotStopTheOthers) {
    StoreAll({"old0", "old1", "old2"});
    platform.registry.failingNames = {"Destination01"};
    Fill({"A\\", "B\\", "C\\"});
    SaveHistory(dialog);
    EXPECT_EQ(StoredData(0), "A\\");
    EXPECT_EQ(StoredData(1), "old1");
    EXPECT_EQ(StoredData(2), "C\\");
}

TEST_F(HistoryStore, LoadReadsTheEntriesInOrderAndSelectsTheFirst) {
    StoreAll({"C:\\Data\\", "D:\\Music\\", "  not normalised "});
    LoadHistory(dialog);
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{"C:\\Data\\", "D:\\Music\\", "  not normalised "}));
    EXPECT_EQ(combo->GetWindowText(), "C:\\Data\\");
    EXPECT_EQ(Log("SHGetValueA").size(), 4u);  // the fourth is missing and ends the load
}

TEST_F(HistoryStore, LoadReadsAtMostTwentyValues) {
    StoreAll(Folders(20));
    Store(20, "C:\\Extra\\");
    LoadHistory(dialog);
    EXPECT_EQ(Entries(), Folders(20));
    EXPECT_EQ(Log("SHGetValueA").size(), 20u);
}

TEST_F(HistoryStore, LoadStopsAtAGapAndFindsTheRestOnceASaveFillsIt) {
    StoreAll(Folders(7));
    platform.registry.DeleteValue(win::RootKey::CurrentUser, kHistoryKey, ValueName(5));
    LoadHistory(dialog);
    ASSERT_EQ(Entries(), Folders(5));
    combo->SetWindowText("E:\\New");
    std::string path;
    ASSERT_TRUE(ApplyDestination(dialog, path, false));
    EXPECT_EQ(StoredData(5), Folder(4));

    Restart();
    std::vector<std::string> expected = Folders(5);
    expected.insert(expected.begin(), "E:\\New\\");
    expected.push_back(Folder(6));
    EXPECT_EQ(Entries(), expected);
}

TEST_F(HistoryStore, LoadTakesTheTextUpToTheFirstNul) {
    StoreAll({std::string("C:\\A\\\0junk", 10), std::string("D:\\B\\\0", 6)});
    LoadHistory(dialog);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\A\\", "D:\\B\\"}));
}

TEST_F(HistoryStore, LoadAcceptsAValueOfExactlyTheBufferSize) {
    const std::string longest = "C:\\" + std::string(257, 'x');
    ASSERT_EQ(longest.size(), 260u);
    StoreAll({longest, "D:\\"});
    LoadHistory(dialog);
    EXPECT_EQ(Entries(), (std::vector<std::string>{longest, "D:\\"}));
}

struct UnusableValue {
    const char* name;
    bool present;
    std::uint32_t type;
    std::string data;
};

void PrintTo(const UnusableValue& v, std::ostream* os) {
    *os << v.name;
}

class HistoryStoreUnusable : public TargetFixture,
                             public ::testing::WithParamInterface<UnusableValue> {
  protected:
    void PutAt(int index) {
        const UnusableValue& v = GetParam();
        if (v.present) Store(index, v.data, v.type);
    }
};

TEST_P(HistoryStoreUnusable, AsTheFirstValueLoadsNothing) {
    PutAt(0);
    Store(1, "C:\\Data\\");
    LoadHistory(dialog);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(combo->GetWindowText(), "");
    EXPECT_EQ(Log("CB_SETCURSEL"), std::vector<std::string>{"CB_SETCURSEL 0"});
}

TEST_P(HistoryStoreUnusable, LaterKeepsTheEntriesBeforeIt) {
    StoreAll({"C:\\A\\", "C:\\B\\"});
    PutAt(2);
    Store(3, "C:\\D\\");
    LoadHistory(dialog);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\A\\", "C:\\B\\"}));
    EXPECT_EQ(combo->GetWindowText(), "C:\\A\\");
}

// An empty text (a value holding only NUL bytes) never becomes an entry: saved back with zero
// bytes it would hide every later value for good.
TEST_P(HistoryStoreUnusable, IsNeverWrittenBackAsAnEmptyEntry) {
    StoreAll({"C:\\A\\"});
    PutAt(1);
    LoadHistory(dialog);
    SaveHistory(dialog);
    const auto stored = Stored(1);
    if (GetParam().present) {
        EXPECT_EQ(stored, (StoredValue{GetParam().type, GetParam().data}));
    } else {
        EXPECT_FALSE(stored.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, HistoryStoreUnusable,
    ::testing::Values(UnusableValue{"Missing", false, 0, ""},
                      UnusableValue{"ZeroBytes", true, win::kRegSz, ""},
                      UnusableValue{"ExpandString", true, 2, "C:\\Data\\"},
                      UnusableValue{"Binary", true, 3, "C:\\Data\\"},
                      UnusableValue{"TooLong", true, win::kRegSz, "C:\\" + std::string(258, 'x')},
                      UnusableValue{"NulOnly", true, win::kRegSz, std::string(1, '\0')},
                      UnusableValue{"NulsOnly", true, win::kRegSz, std::string(3, '\0')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryStore, AStoreWithTheSameTextTwiceKeepsTheLaterCopy) {
    StoreAll({"C:\\A\\", "D:\\B\\", "c:\\a\\"});
    LoadHistory(dialog);
    // The second copy's index lies past the shortened list: it is appended. The control is
    // asked for the end itself, since a real combo box refuses a position past its count.
    EXPECT_EQ(Entries(), (std::vector<std::string>{"D:\\B\\", "c:\\a\\"}));
    EXPECT_EQ(Log("CB_INSERTITEM").back(), "CB_INSERTITEM 1 c:\\a\\");
    EXPECT_EQ(combo->GetWindowText(), "D:\\B\\");
}

TEST_F(HistoryStore, SetUpEnablesCompletionAttachesImagesAndLoads) {
    StoreAll({"C:\\A\\", "D:\\B\\"});
    combo->SetImageList(nullptr);
    SetUpTargetCombo(dialog);
    EXPECT_EQ(Log("SHAutoComplete"), std::vector<std::string>{"SHAutoComplete 0x2002 0x50000001"});
    EXPECT_EQ(combo->Images(), folders);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\A\\", "D:\\B\\"}));
    EXPECT_EQ(combo->GetWindowText(), "C:\\A\\");
    EXPECT_EQ(folders->GetImageCount(), 2);
    EXPECT_EQ(combo->Items()[1].image, 1);
}

// The close step at teardown.
using CloseStep = TargetFixture;

TEST_F(CloseStep, WithTwentyEntriesWritesNineteenAndTheNextStartShowsTwenty) {
    StoreAll(Folders(20));
    LoadHistory(dialog);
    platform.log.Clear();
    CloseHistory(dialog);
    EXPECT_EQ(Log("SHSetValueA").size(), 19u);
    EXPECT_EQ(StoredData(19), Folder(19));
    Restart();
    EXPECT_EQ(Entries(), Folders(20));
}

TEST_F(CloseStep, AddsTheNormalisedTextWithoutPreparingOrRefreshing) {
    Fill({"C:\\A\\"});
    combo->SetWindowText("  E:\\Missing// ");
    CloseHistory(dialog);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"E:\\Missing\\", "C:\\A\\"}));
    EXPECT_EQ(StoredData(0), "E:\\Missing\\");
    EXPECT_EQ(StoredData(1), "C:\\A\\");
    EXPECT_TRUE(Log("SHPathPrepareForWriteA").empty());
    EXPECT_TRUE(Log("CB_SETCURSEL").empty());
    EXPECT_TRUE(Log("SHGetFileInfoA").empty());
}

class CloseStepInvalid : public TargetFixture, public ::testing::WithParamInterface<std::string> {};

TEST_P(CloseStepInvalid, SavesTheHistoryUnchanged) {
    Fill({"C:\\A\\", "D:\\B\\"});
    Store(0, "stale");
    combo->SetWindowText(GetParam());
    CloseHistory(dialog);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\A\\", "D:\\B\\"}));
    EXPECT_EQ(StoredData(0), "C:\\A\\");
    EXPECT_EQ(StoredData(1), "D:\\B\\");
    EXPECT_TRUE(Log("CB_INSERTITEM").empty());
}

INSTANTIATE_TEST_SUITE_P(Texts, CloseStepInvalid,
                         ::testing::Values("", "   ", "\\/", "C:\\a?b", "D:\\x|y\\"));

}  // namespace
}  // namespace dravolin

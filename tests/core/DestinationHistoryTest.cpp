#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "target/DestinationHistory.h"
#include "tests/core/TargetFixture.h"

namespace dravolin {
namespace {

using History = TargetFixture;

std::vector<std::string> With(std::vector<std::string> texts, int at, const std::string& text) {
    texts.insert(texts.begin() + at, text);
    return texts;
}

TEST_F(History, ANewPathInAFullListDropsTheOldestAndKeepsTwenty) {
    Fill(Folders(20));
    AddToHistory(dialog, "E:\\New\\", 0);
    std::vector<std::string> expected = Folders(19);
    expected.insert(expected.begin(), "E:\\New\\");
    EXPECT_EQ(Entries(), expected);
}

TEST_F(History, ReAddingAnEntryOfAFullListLeavesNineteen) {
    Fill(Folders(20));
    AddToHistory(dialog, Folder(7), 0);
    ASSERT_EQ(combo->GetCount(), 19);
    EXPECT_EQ(Entries().front(), Folder(7));
    // The cap took the last entry before the duplicate went.
    EXPECT_EQ(Entries().back(), Folder(18));
}

TEST_F(History, ACaseDifferingTextReplacesTheEntryInItsOwnCase) {
    Fill({"D:\\Music\\", "C:\\Data\\", "E:\\Films\\"});
    AddToHistory(dialog, "c:\\DATA\\", 0);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"c:\\DATA\\", "D:\\Music\\", "E:\\Films\\"}));
}

TEST_F(History, RemovesEveryCopyOfTheText) {
    Fill({"A\\", "B\\", "a\\", "C\\", "A\\"});
    AddToHistory(dialog, "A\\", 1);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"B\\", "A\\", "C\\"}));
}

TEST_F(History, InsertsAtTheGivenPosition) {
    Fill({"A\\", "B\\"});
    AddToHistory(dialog, "N\\", 1);
    EXPECT_EQ(Entries(), With({"A\\", "B\\"}, 1, "N\\"));
    EXPECT_EQ(Log("CB_INSERTITEM"), std::vector<std::string>{"CB_INSERTITEM 1 N\\"});
}

TEST_F(History, RemovesTheImageOfEveryDeletedEntryButAddsNone) {
    Fill(Folders(20));
    RefreshHistoryIcons(dialog);
    ASSERT_EQ(folders->GetImageCount(), 20);
    AddToHistory(dialog, Folder(3), 0);
    // Entry 19 went to the cap, entry 3 as a duplicate: their images with them.
    EXPECT_EQ(Log("ImageList_Remove"), (std::vector<std::string>{"ImageList_Remove folders 19",
                                                                 "ImageList_Remove folders 3"}));
    EXPECT_EQ(folders->GetImageCount(), 18);
    EXPECT_EQ(combo->GetCount(), 19);
}

// Taking the current target, as the copy cycle does for every disc.
using Apply = TargetFixture;

TEST_F(Apply, NormalisesTheTypedTextIntoEntryZeroAndTheEditField) {
    platform.machine->AddVolume('C');
    Fill({"D:\\Old\\"});
    combo->SetWindowText("  C:\\Data\\Discs//  ");
    std::string path;
    EXPECT_TRUE(ApplyDestination(dialog, path, true));
    EXPECT_EQ(path, "C:\\Data\\Discs\\");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\Data\\Discs\\", "D:\\Old\\"}));
    EXPECT_EQ(combo->GetWindowText(), "C:\\Data\\Discs\\");
    EXPECT_TRUE(platform.machine->FolderExists("C:\\Data\\Discs"));
    EXPECT_EQ(Stored(0), (fake::FakeRegistry::Stored{win::kRegSz, "C:\\Data\\Discs\\"}));
    EXPECT_EQ(Stored(1), (fake::FakeRegistry::Stored{win::kRegSz, "D:\\Old\\"}));
}

TEST_F(Apply, RefreshesTheIconsOfEveryEntry) {
    platform.machine->AddVolume('C');
    Fill({"D:\\Old\\"});
    combo->SetWindowText("C:\\New");
    std::string path;
    ASSERT_TRUE(ApplyDestination(dialog, path, true));
    EXPECT_EQ(folders->Images(), (std::vector<std::string>{"shell:C:\\New\\", "resource:131"}));
    EXPECT_EQ(combo->Items()[0].image, 0);
    EXPECT_EQ(combo->Items()[1].image, 1);
}

TEST_F(Apply, ThePathOfEntryZeroLeavesTheListAsItIsButWritesTheStoreAgain) {
    Fill({"C:\\Data\\", "D:\\Old\\"});
    combo->SetWindowText("C:\\Data\\");
    Store(0, "stale");
    std::string path;
    EXPECT_TRUE(ApplyDestination(dialog, path, false));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\Data\\", "D:\\Old\\"}));
    EXPECT_EQ(Stored(0), (fake::FakeRegistry::Stored{win::kRegSz, "C:\\Data\\"}));
    EXPECT_EQ(Log("SHSetValueA").size(), 2u);
}

TEST_F(Apply, ARejectedTextChangesNothingButThePath) {
    Fill({"C:\\Data\\"});
    RefreshHistoryIcons(dialog);
    platform.log.Clear();
    combo->SetWindowText(" C:\\a|b\\ ");
    std::string path = "previous";
    EXPECT_FALSE(ApplyDestination(dialog, path, true));
    EXPECT_EQ(path, "C:\\a|b");
    EXPECT_EQ(Entries(), std::vector<std::string>{"C:\\Data\\"});
    EXPECT_EQ(combo->GetWindowText(), " C:\\a|b\\ ");
    EXPECT_EQ(folders->GetImageCount(), 1);
    EXPECT_TRUE(platform.registry.Names(win::RootKey::CurrentUser, kHistoryKey).empty());
    EXPECT_TRUE(platform.log.Lines().empty());
}

TEST_F(Apply, AFailedPreparationLeavesTheHistoryAndReturnsTheNormalisedPath) {
    Fill({"C:\\Data\\"});
    combo->SetWindowText("Q:\\Nowhere");
    std::string path;
    EXPECT_FALSE(ApplyDestination(dialog, path, true));
    EXPECT_EQ(path, "Q:\\Nowhere\\");
    EXPECT_EQ(Entries(), std::vector<std::string>{"C:\\Data\\"});
    EXPECT_TRUE(Log("SHSetValueA").empty());
}

// A poll running inside the shell's preparation prompt applies the target again; the outer
// call still completes with the text it took before the prompt.
TEST_F(Apply, AnApplyNestedInThePreparationPromptKeepsBothTargets) {
    platform.machine->AddVolume('C');
    combo->SetWindowText("C:\\First");
    bool nested = false;
    platform.machine->SetPreparePrompt([&] {
        if (nested) return;
        nested = true;
        combo->SetWindowText("C:\\Second");
        std::string inner;
        EXPECT_TRUE(ApplyDestination(dialog, inner, true));
        EXPECT_EQ(inner, "C:\\Second\\");
    });
    std::string outer;
    EXPECT_TRUE(ApplyDestination(dialog, outer, true));
    platform.machine->SetPreparePrompt(nullptr);
    EXPECT_EQ(outer, "C:\\First\\");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\First\\", "C:\\Second\\"}));
    EXPECT_EQ(folders->GetImageCount(), 2);
    EXPECT_EQ(StoredData(0), "C:\\First\\");
    EXPECT_EQ(StoredData(1), "C:\\Second\\");
}

}  // namespace
}  // namespace dravolin

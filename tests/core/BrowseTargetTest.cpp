#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>
#include "target/DestinationHistory.h"
#include "tests/core/TargetFixture.h"

namespace dravolin {
namespace {

using Browse = TargetFixture;

TEST_F(Browse, ACancelledBrowserChangesNothing) {
    Fill({"C:\\A\\", "D:\\B\\"});
    combo->SetWindowText("typed");
    platform.folderPicker.choice = std::nullopt;
    dialog.OnBrowse();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\A\\", "D:\\B\\"}));
    EXPECT_EQ(combo->GetWindowText(), "typed");
    EXPECT_TRUE(platform.registry.Names(win::RootKey::CurrentUser, kHistoryKey).empty());
    EXPECT_EQ(platform.folderPicker.requests.size(), 1u);
}

TEST_F(Browse, AChoiceWithoutPathChangesNothing) {
    Fill({"C:\\A\\"});
    combo->SetWindowText("typed");
    platform.folderPicker.choice = std::string();
    dialog.OnBrowse();
    EXPECT_EQ(Entries(), std::vector<std::string>{"C:\\A\\"});
    EXPECT_EQ(combo->GetWindowText(), "typed");
    EXPECT_TRUE(Log("SHSetValueA").empty());
}

TEST_F(Browse, AChosenFolderBecomesTheTargetAndIsSavedWithoutPreparing) {
    Fill({"C:\\A\\"});
    platform.folderPicker.choice = "D:\\Data";
    dialog.OnBrowse();
    EXPECT_EQ(combo->GetWindowText(), "D:\\Data\\");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"D:\\Data\\", "C:\\A\\"}));
    EXPECT_EQ(Stored(0), (fake::FakeRegistry::Stored{win::kRegSz, "D:\\Data\\"}));
    EXPECT_EQ(Stored(1), (fake::FakeRegistry::Stored{win::kRegSz, "C:\\A\\"}));
    EXPECT_TRUE(Log("SHPathPrepareForWriteA").empty());
    EXPECT_EQ(folders->GetImageCount(), 2);
}

TEST_F(Browse, ADriveRootStaysTheRoot) {
    platform.folderPicker.choice = "D:\\";
    dialog.OnBrowse();
    EXPECT_EQ(Entries(), std::vector<std::string>{"D:\\"});
    EXPECT_EQ(combo->GetWindowText(), "D:\\");
}

TEST_F(Browse, AnExistingEntryMovesToTheTopInTheShellsLetterCase) {
    Fill({"C:\\A\\", "d:\\DATA\\"});
    platform.folderPicker.choice = "D:\\Data";
    dialog.OnBrowse();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"D:\\Data\\", "C:\\A\\"}));
}

TEST_F(Browse, ARejectedChoiceStaysInTheEditFieldAsChosen) {
    Fill({"C:\\A\\"});
    platform.folderPicker.choice = "D:\\a?b";
    dialog.OnBrowse();
    EXPECT_EQ(combo->GetWindowText(), "D:\\a?b");
    EXPECT_EQ(Entries(), std::vector<std::string>{"C:\\A\\"});
    EXPECT_TRUE(Log("SHSetValueA").empty());
}

// The copy cycle keeps running while the browser is open and may take the target meanwhile.
TEST_F(Browse, ATargetAppliedWhileTheBrowserIsOpenStaysInTheHistory) {
    platform.folderPicker.choice = "D:\\Data";
    platform.folderPicker.during = [&] {
        combo->SetWindowText("E:\\Other");
        std::string path;
        EXPECT_TRUE(ApplyDestination(dialog, path, false));
    };
    dialog.OnBrowse();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"D:\\Data\\", "E:\\Other\\"}));
    EXPECT_EQ(combo->GetWindowText(), "D:\\Data\\");
}

TEST_F(Browse, AsksForAFolderUnderMyComputerWithTheEnglishTitle) {
    dialog.OnBrowse();
    ASSERT_EQ(platform.folderPicker.requests.size(), 1u);
    const FolderPicker::Request& request = platform.folderPicker.requests[0];
    EXPECT_EQ(request.owner, fake::FakeDialogWindow::kHandle);
    EXPECT_EQ(request.rootCsidl, 17);
    EXPECT_EQ(request.flags, 0x149u);
    EXPECT_EQ(request.title, "Select target folder and press \"OK\" button.");
}

class BrowseRussian : public TargetFixture {
  protected:
    BrowseRussian() : TargetFixture(Language::Russian) {}
};

TEST_F(BrowseRussian, UsesTheRussianTitle) {
    dialog.OnBrowse();
    ASSERT_EQ(platform.folderPicker.requests.size(), 1u);
    EXPECT_EQ(platform.folderPicker.requests[0].title,
              "Укажите целевой каталог, а затем нажмите кнопку \"OK\".");
}

using OpenTarget = TargetFixture;

TEST_F(OpenTarget, HandsTheRawTextToTheShell) {
    combo->SetWindowText("  C:\\Data// ");
    dialog.OnOpenTarget();
    EXPECT_EQ(Log("ShellExecuteA"),
              std::vector<std::string>{"ShellExecuteA 0x1001   C:\\Data//  1"});
}

TEST_F(OpenTarget, HandsAnEmptyTextToTheShell) {
    combo->SetWindowText("");
    dialog.OnOpenTarget();
    EXPECT_EQ(Log("ShellExecuteA"), std::vector<std::string>{"ShellExecuteA 0x1001  1"});
    EXPECT_TRUE(Entries().empty());
}

}  // namespace
}  // namespace dravolin

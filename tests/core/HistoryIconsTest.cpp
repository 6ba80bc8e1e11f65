#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "target/DestinationHistory.h"
#include "tests/core/TargetFixture.h"

namespace dravolin {
namespace {

class HistoryIcons : public TargetFixture {
  protected:
    HistoryIcons() {
        platform.machine->AddVolume('C');
        platform.machine->AddFolder("C:\\Data");
        platform.machine->AddFolder("C:\\Music");
    }
    std::vector<int> ImagesOfEntries() const {
        std::vector<int> images;
        for (const auto& item : combo->Items()) {
            EXPECT_EQ(item.image, item.selectedImage);
            images.push_back(item.image);
        }
        return images;
    }
};

TEST_F(HistoryIcons, ShowsTheShellIconOrTheProgramFolderIcon) {
    Fill({"C:\\Data\\", "C:\\Gone\\", "C:\\Music\\"});
    RefreshHistoryIcons(dialog);
    EXPECT_EQ(folders->Images(),
              (std::vector<std::string>{"shell:C:\\Data\\", "resource:131", "shell:C:\\Music\\"}));
    EXPECT_EQ(ImagesOfEntries(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Log("SHGetFileInfoA"),
              (std::vector<std::string>{"SHGetFileInfoA C:\\Data\\ 0x121",
                                        "SHGetFileInfoA C:\\Gone\\ 0x121",
                                        "SHGetFileInfoA C:\\Music\\ 0x121"}));
    EXPECT_EQ(combo->updates, 1);
}

TEST_F(HistoryIcons, DestroysTheShellIconsButNotTheSharedFallback) {
    Fill({"C:\\Data\\", "C:\\Gone\\"});
    RefreshHistoryIcons(dialog);
    EXPECT_EQ(Log("DestroyIcon"), std::vector<std::string>{"DestroyIcon shell:C:\\Data\\"});
    // The icon goes once the image list holds its copy, before the entry takes the image.
    const int copied = platform.log.IndexOf("ImageList_ReplaceIcon folders -1 shell:C:\\Data\\");
    const int destroyed = platform.log.IndexOf("DestroyIcon shell:C:\\Data\\");
    const int set = platform.log.IndexOf("CBEM_SETITEM 0 0 0");
    ASSERT_GE(copied, 0);
    EXPECT_LT(copied, destroyed);
    EXPECT_LT(destroyed, set);
}

TEST_F(HistoryIcons, ReplacesExistingImagesInPlace) {
    Fill({"C:\\Gone\\", "C:\\Music\\"});
    RefreshHistoryIcons(dialog);
    platform.machine->AddFolder("C:\\Gone");
    platform.log.Clear();
    RefreshHistoryIcons(dialog);
    EXPECT_EQ(Log("ImageList_ReplaceIcon"),
              (std::vector<std::string>{"ImageList_ReplaceIcon folders 0 shell:C:\\Gone\\",
                                        "ImageList_ReplaceIcon folders 1 shell:C:\\Music\\"}));
    EXPECT_EQ(folders->Images(),
              (std::vector<std::string>{"shell:C:\\Gone\\", "shell:C:\\Music\\"}));
}

TEST_F(HistoryIcons, PutsImagesBackInStepAfterTheHistoryChanged) {
    Fill({"C:\\Data\\", "C:\\Gone\\", "C:\\Music\\"});
    RefreshHistoryIcons(dialog);
    combo->SetWindowText("C:\\Music");
    std::string path;
    ASSERT_TRUE(ApplyDestination(dialog, path, false));
    ASSERT_EQ(Entries(), (std::vector<std::string>{"C:\\Music\\", "C:\\Data\\", "C:\\Gone\\"}));
    EXPECT_EQ(folders->Images(),
              (std::vector<std::string>{"shell:C:\\Music\\", "shell:C:\\Data\\", "resource:131"}));
    EXPECT_EQ(ImagesOfEntries(), (std::vector<int>{0, 1, 2}));
}

TEST_F(HistoryIcons, AFailingImageListLeavesEntriesWithoutImage) {
    Fill({"C:\\Data\\", "C:\\Gone\\"});
    folders->FailOperations(true);
    RefreshHistoryIcons(dialog);
    EXPECT_EQ(ImagesOfEntries(), (std::vector<int>{-1, -1}));
    EXPECT_EQ(Log("DestroyIcon"), std::vector<std::string>{"DestroyIcon shell:C:\\Data\\"});
}

TEST_F(HistoryIcons, AnEmptyHistoryOnlyRepaints) {
    RefreshHistoryIcons(dialog);
    EXPECT_EQ(folders->GetImageCount(), 0);
    EXPECT_TRUE(Log("SHGetFileInfoA").empty());
    EXPECT_EQ(combo->updates, 1);
}

}  // namespace
}  // namespace dravolin

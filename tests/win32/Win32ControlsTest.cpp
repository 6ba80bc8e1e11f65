// The control wrappers against the real controls of the dialog template.
#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "engine/DriveEntry.h"
#include "engine/DriveList.h"
#include "platform/win32/Win32Controls.h"

namespace dravolin::win32::test {
namespace {

class ComboTest : public ::testing::Test {
  protected:
    TemplateDialog dialog;
    Win32ComboBoxEx combo{dialog.Item(IDC_TARGET)};

    void Fill(const std::vector<std::string>& texts) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            ASSERT_EQ(combo.InsertItem(static_cast<int>(i), texts[i]), static_cast<int>(i));
        }
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (int i = 0; i < combo.GetCount(); ++i) texts.push_back(combo.GetItemText(i));
        return texts;
    }
};

TEST_F(ComboTest, KeepsEntriesWhereTheyWereInsertedDespiteTheSortStyle) {
    ASSERT_NE(combo.Get(), nullptr);
    EXPECT_NE(::GetWindowLongA(combo.Get(), GWL_STYLE) & CBS_SORT, 0);
    Fill({"Z:\\Last\\", "A:\\First\\"});
    EXPECT_EQ(combo.InsertItem(1, "M:\\Middle\\"), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Z:\\Last\\", "M:\\Middle\\", "A:\\First\\"}));
    EXPECT_EQ(combo.InsertItem(0, "B:\\Top\\"), 0);
    EXPECT_EQ(combo.GetItemText(0), "B:\\Top\\");
    EXPECT_EQ(combo.GetCount(), 4);
}

TEST_F(ComboTest, FindIgnoresLetterCaseAndMatchesWholeTextsOnly) {
    Fill({"C:\\Data\\", "D:\\Discs\\", "C:\\Data\\More\\"});
    EXPECT_EQ(combo.FindStringExact(0, "d:\\DISCS\\"), 1);
    EXPECT_EQ(combo.FindStringExact(0, "c:\\data\\more\\"), 2);
    EXPECT_EQ(combo.FindStringExact(0, "C:\\Dat"), -1);
    EXPECT_EQ(combo.FindStringExact(0, "E:\\"), -1);
}

TEST_F(ComboTest, FindStartsAfterTheStartIndexAndWrapsToTheFirstEntry) {
    Fill({"C:\\Same\\", "D:\\Other\\", "c:\\same\\"});
    // From after entry 0: entry 2 comes before the wrap reaches entry 0.
    EXPECT_EQ(combo.FindStringExact(0, "C:\\SAME\\"), 2);
    EXPECT_EQ(combo.FindStringExact(2, "C:\\SAME\\"), 0);
    ASSERT_TRUE(combo.DeleteItem(2));
    // Only entry 0 matches: the search wraps around to it.
    EXPECT_EQ(combo.FindStringExact(0, "c:\\SAME\\"), 0);
}

TEST_F(ComboTest, DeleteMovesLaterEntriesUp) {
    Fill({"A:\\", "B:\\", "C:\\"});
    EXPECT_TRUE(combo.DeleteItem(1));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"A:\\", "C:\\"}));
    EXPECT_FALSE(combo.DeleteItem(5));
}

TEST_F(ComboTest, SelectingAnEntryPutsItsTextIntoTheEditField) {
    EXPECT_EQ(combo.SetCurSel(0), CB_ERR);  // nothing on an empty list
    combo.SetWindowText("typed");
    EXPECT_EQ(combo.GetWindowText(), "typed");
    Fill({"C:\\First\\", "D:\\Second\\"});
    EXPECT_EQ(combo.SetCurSel(0), 0);
    EXPECT_EQ(combo.GetWindowText(), "C:\\First\\");
    HWND edit = reinterpret_cast<HWND>(combo.GetEditControl());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(ClassOf(edit), "Edit");
    EXPECT_EQ(TextOf(edit), "C:\\First\\");
}

TEST_F(ComboTest, EntriesShowTheImagesSetForThem) {
    Fill({"C:\\", "D:\\"});
    EXPECT_TRUE(combo.SetItemImages(1, 4, 4));
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = 1;
    ASSERT_TRUE(::SendMessageA(combo.Get(), CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(item.iImage, 4);
    EXPECT_EQ(item.iSelectedImage, 4);
}

class ListTest : public ::testing::Test {
  protected:
    TemplateDialog dialog;
    Win32ListView list{dialog.Item(IDC_DRIVES)};
    DriveEntry first;
    DriveEntry second;

    void SetUp() override {
        first.letter = 'D';
        second.letter = 'F';
        list.SetExtendedStyle(list.GetExtendedStyle() | win::kLvsExCheckboxes |
                              win::kLvsExFullRowSelect | win::kLvsExLabelTip);
        list.InsertColumn(0, "Drive", 180);
        list.InsertColumn(1, "Status", 100);
        ASSERT_EQ(list.InsertItem(0, &first), 0);
        ASSERT_EQ(list.InsertItem(1, &second), 1);
    }
};

TEST_F(ListTest, RowsCarryTheirRecordsAndTexts) {
    EXPECT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemParam(0), &first);
    EXPECT_EQ(list.GetItemParam(1), &second);
    EXPECT_TRUE(list.SetItemTextAndImage(1, "DATA (F:)", 1));
    EXPECT_TRUE(list.SetItemText(1, 1, "Disc copying"));
    char text[64] = {};
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = 1;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    ASSERT_TRUE(::SendMessageA(list.Get(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ(text, "DATA (F:)");
    EXPECT_EQ(item.iImage, 1);
    item.iSubItem = 1;
    ::SendMessageA(list.Get(), LVM_GETITEMTEXTA, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, "Disc copying");
}

TEST_F(ListTest, CheckBoxesAreStateImagesOneAndTwo) {
    const DWORD styles = list.GetExtendedStyle();
    EXPECT_EQ(styles & 0x4024u, 0x4024u);
    // A new row is unticked: state image 1.
    EXPECT_EQ(list.GetItemState(0, win::kLvisStateImageMask), win::IndexToStateImageMask(1));
    EXPECT_FALSE(IsChecked(list, 0));

    // The control's own check state follows state image 2.
    ASSERT_TRUE(list.SetItemState(0, win::IndexToStateImageMask(2), win::kLvisStateImageMask));
    EXPECT_TRUE(IsChecked(list, 0));
    EXPECT_EQ(ListView_GetCheckState(list.Get(), 0), TRUE);

    SetChecked(list, 0, false);
    EXPECT_EQ(list.GetItemState(0, win::kLvisStateImageMask), win::IndexToStateImageMask(1));
    EXPECT_EQ(ListView_GetCheckState(list.Get(), 0), FALSE);
    EXPECT_FALSE(IsChecked(list, 1));
}

TEST_F(ListTest, HitTestFindsTheRowUnderAPointAndNoneBelowTheLast) {
    RECT second_row{};
    second_row.left = LVIR_BOUNDS;
    ASSERT_TRUE(
        ::SendMessageA(list.Get(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second_row)));
    const Point inside{(second_row.left + second_row.right) / 2,
                       (second_row.top + second_row.bottom) / 2};
    EXPECT_EQ(list.HitTest(inside), 1);
    EXPECT_EQ(list.HitTest(Point{inside.x, second_row.bottom + 3}), -1);

    POINT screen{inside.x, inside.y};
    ::ClientToScreen(list.Get(), &screen);
    EXPECT_EQ(list.ScreenToClient(Point{screen.x, screen.y}), inside);
}

TEST(ImageListTest, ReplacesAppendsAndRemovesImages) {
    ::InitCommonControls();
    Win32ImageList images(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 0));
    ASSERT_NE(images.Get(), nullptr);
    const Win32Icon icon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_DRIVE)),
                         true);
    ASSERT_NE(icon.Get(), nullptr);
    EXPECT_EQ(images.GetImageCount(), 0);
    EXPECT_EQ(images.ReplaceIcon(-1, icon), 0);
    EXPECT_EQ(images.ReplaceIcon(-1, icon), 1);
    EXPECT_EQ(images.ReplaceIcon(0, icon), 0);
    EXPECT_EQ(images.GetImageCount(), 2);
    EXPECT_TRUE(images.Remove(0));
    EXPECT_EQ(images.GetImageCount(), 1);
}

}  // namespace
}  // namespace dravolin::win32::test

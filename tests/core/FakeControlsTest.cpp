// The control semantics other tests lean on: combo search and insertion, check-box state
// images, list hit-testing and image-list indices.
#include <gtest/gtest.h>
#include "platform/fake/FakeControls.h"

namespace dravolin::fake {
namespace {

TEST(FakeComboBoxEx, FindStringExactIgnoresCaseAndWraps) {
    CallLog log;
    FakeComboBoxEx combo(&log);
    for (const char* text : {"C:\\A\\", "c:\\b\\", "C:\\A\\x", "C:\\B\\"}) {
        combo.InsertItem(-1, text);
    }
    struct Case {
        int start;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {-1, "c:\\a\\", 0},  // from the beginning
        {0, "C:\\B\\", 1},   // starts after 0
        {1, "C:\\B\\", 3},   // skips the start, finds the later one
        {3, "C:\\B\\", 1},   // wraps around
        {0, "C:\\A\\", 0},   // wraps back to the start itself
        {0, "C:\\A", -1},    // whole text only
        {2, "nothing", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(combo.FindStringExact(c.start, c.text), c.expected)
            << "start " << c.start << " text " << c.text;
    }
}

TEST(FakeComboBoxEx, InsertDeleteAndSelect) {
    CallLog log;
    FakeComboBoxEx combo(&log);
    EXPECT_EQ(combo.FindStringExact(0, "a"), -1);
    EXPECT_EQ(combo.SetCurSel(0), -1);  // empty list: nothing changes
    combo.SetWindowText("typed");
    EXPECT_EQ(combo.GetWindowText(), "typed");

    EXPECT_EQ(combo.InsertItem(0, "b"), 0);
    EXPECT_EQ(combo.InsertItem(0, "a"), 0);
    EXPECT_EQ(combo.InsertItem(7, "c"), 2);  // past the end appends
    EXPECT_EQ(combo.Texts(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(combo.DeleteItem(3));
    EXPECT_TRUE(combo.DeleteItem(0));
    EXPECT_EQ(combo.Texts(), (std::vector<std::string>{"b", "c"}));

    EXPECT_EQ(combo.SetCurSel(1), 1);
    EXPECT_EQ(combo.GetWindowText(), "c");
    EXPECT_TRUE(combo.SetItemImages(0, 4, 5));
    EXPECT_FALSE(combo.SetItemImages(2, 4, 5));
    EXPECT_EQ(combo.Items()[0].image, 4);
    EXPECT_EQ(combo.Items()[0].selectedImage, 5);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "CB_SETCURSEL 0", "CB_INSERTITEM 0 b", "CB_INSERTITEM 0 a",
                               "CB_INSERTITEM 7 c", "CB_DELETEITEM 3", "CB_DELETEITEM 0",
                               "CB_SETCURSEL 1", "CBEM_SETITEM 0 4 5", "CBEM_SETITEM 2 4 5"}));
}

TEST(FakeListView, NewRowsAreUntickedOnlyWithCheckBoxes) {
    CallLog log;
    FakeListView plain(&log);
    plain.InsertItem(0, nullptr);
    EXPECT_EQ(plain.GetItemState(0, win::kLvisStateImageMask), 0u);

    FakeListView list(&log);
    list.SetExtendedStyle(list.GetExtendedStyle() | win::kLvsExCheckboxes);
    DriveEntry* const a = reinterpret_cast<DriveEntry*>(0x10);
    DriveEntry* const b = reinterpret_cast<DriveEntry*>(0x20);
    EXPECT_EQ(list.InsertItem(0, a), 0);
    EXPECT_EQ(list.InsertItem(0, b), 0);  // shifts row a down
    EXPECT_EQ(list.InsertItem(9, a), 2);
    EXPECT_EQ(list.GetItemParam(0), b);
    EXPECT_EQ(list.GetItemParam(1), a);
    EXPECT_EQ(list.GetItemParam(3), nullptr);
    EXPECT_EQ(list.GetItemState(1, win::kLvisStateImageMask), win::IndexToStateImageMask(1));
    EXPECT_FALSE(list.Ticked(1));

    list.Tick(1, true);
    EXPECT_TRUE(list.Ticked(1));
    EXPECT_EQ(list.GetItemState(1, win::kLvisStateImageMask), 0x2000u);
    list.SetItemState(1, win::IndexToStateImageMask(1), win::kLvisStateImageMask);
    EXPECT_FALSE(list.Ticked(1));
}

TEST(FakeListView, CountsAndLogsWritesAndHitsRows) {
    CallLog log;
    FakeListView list(&log);
    list.InsertItem(0, nullptr);
    list.InsertItem(1, nullptr);
    list.SetItemTextAndImage(0, "DATA (E:)", 0);
    list.SetItemText(1, 1, "Disc copying");
    list.SetItemText(1, 0, "F");
    EXPECT_EQ(list.textWrites, 2);
    EXPECT_EQ(list.statusWrites, 1);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"LVM_SETITEM 0 0 DATA (E:)",
                                                     "LVM_SETITEMTEXT 1 1 Disc copying",
                                                     "LVM_SETITEMTEXT 1 0 F"}));
    EXPECT_EQ(list.Rows()[1].status, "Disc copying");

    EXPECT_EQ(list.ScreenToClient(Point{110, 134}), (Point{10, 34}));
    struct Case {
        Point at;
        int row;
    };
    const Case cases[] = {{{0, 0}, 0},   {{404, 16}, 0}, {{5, 17}, 1},   {{5, 33}, 1},
                          {{5, 34}, -1}, {{-1, 5}, -1},  {{405, 5}, -1}, {{5, -1}, -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(list.HitTest(c.at), c.row) << c.at.x << "," << c.at.y;
    }
}

TEST(FakeImageList, ReplacesAppendsRemovesAndFails) {
    CallLog log;
    FakeImageList images("images0", 16, 16, 0x21, 5, 0, &log);
    {
        FakeIcon drive("shell:E:\\", false, &log);
        FakeIcon folder("resource:131", true, &log);
        EXPECT_NE(drive.Handle(), 0u);
        EXPECT_EQ(images.ReplaceIcon(-1, drive), 0);
        EXPECT_EQ(images.ReplaceIcon(-1, drive), 1);
        EXPECT_EQ(images.ReplaceIcon(0, folder), 0);
        EXPECT_EQ(images.ReplaceIcon(2, folder), -1);  // only existing images are replaced
        EXPECT_EQ(images.Images(), (std::vector<std::string>{"resource:131", "shell:E:\\"}));
        EXPECT_TRUE(images.Remove(0));
        EXPECT_FALSE(images.Remove(1));
        images.FailOperations(true);
        EXPECT_EQ(images.ReplaceIcon(-1, drive), -1);
        EXPECT_FALSE(images.Remove(0));
        EXPECT_EQ(images.Images(), (std::vector<std::string>{"shell:E:\\"}));
    }
    // Only the icon that is not shared is destroyed.
    EXPECT_EQ(log.Matching("DestroyIcon"), (std::vector<std::string>{"DestroyIcon shell:E:\\"}));
    EXPECT_EQ(log.IndexOf("ImageList_ReplaceIcon images0 -1 shell:E:\\"), 0);
}

}  // namespace
}  // namespace dravolin::fake

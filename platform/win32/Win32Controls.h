#pragma once
// Icons, image lists and the dialog's two controls over their Win32 messages. UI thread only,
// like the controls themselves.
#include <cstdint>
#include <string>
#include "platform/ComboBoxEx.h"
#include "platform/Icon.h"
#include "platform/ImageList.h"
#include "platform/ListView.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

// An icon handle. Icons from the shell are the caller's to destroy; icons loaded with LoadIconA
// from the program's resources are shared and must not be destroyed.
class Win32Icon : public Icon {
  public:
    Win32Icon(HICON icon, bool shared) : icon_(icon), shared_(shared) {}
    ~Win32Icon() override;
    Win32Icon(const Win32Icon&) = delete;
    Win32Icon& operator=(const Win32Icon&) = delete;
    std::uintptr_t Handle() const override { return reinterpret_cast<std::uintptr_t>(icon_); }
    HICON Get() const { return icon_; }

  private:
    HICON icon_;
    bool shared_;
};

// An image list created with ImageList_Create and destroyed with its owner. The controls it is
// attached to never destroy it (the list view is created with LVS_SHAREIMAGELISTS, and an
// extended combo box never destroys its list).
class Win32ImageList : public ImageList {
  public:
    explicit Win32ImageList(HIMAGELIST list) : list_(list) {}
    ~Win32ImageList() override;
    Win32ImageList(const Win32ImageList&) = delete;
    Win32ImageList& operator=(const Win32ImageList&) = delete;
    int GetImageCount() const override;
    int ReplaceIcon(int index, const Icon& icon) override;
    bool Remove(int index) override;
    HIMAGELIST Get() const { return list_; }

  private:
    HIMAGELIST list_;
};

HIMAGELIST NativeImageList(ImageList* images);

// The report-style list of drives, over LVM_* messages.
class Win32ListView : public ListView {
  public:
    explicit Win32ListView(HWND list) : list_(list) {}
    std::uint32_t GetExtendedStyle() const override;
    void SetExtendedStyle(std::uint32_t styles) override;
    Rect GetClientRect() const override;
    int InsertColumn(int column, const std::string& title, int width) override;
    void SetImageList(ImageList* images, int which) override;
    int GetItemCount() const override;
    int InsertItem(int row, DriveEntry* param) override;
    DriveEntry* GetItemParam(int row) const override;
    bool SetItemTextAndImage(int row, const std::string& text, int image) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    std::uint32_t GetItemState(int row, std::uint32_t mask) const override;
    bool SetItemState(int row, std::uint32_t state, std::uint32_t mask) override;
    Point ScreenToClient(Point screen) const override;
    int HitTest(Point client) const override;
    HWND Get() const { return list_; }

  private:
    HWND list_;
};

// The editable extended combo box, over exactly the CB_ and CBEM_ messages the history needs.
class Win32ComboBoxEx : public ComboBoxEx {
  public:
    explicit Win32ComboBoxEx(HWND combo) : combo_(combo) {}
    int GetCount() const override;
    std::string GetItemText(int index) const override;
    std::string GetWindowText() const override;
    void SetWindowText(const std::string& text) override;
    bool DeleteItem(int index) override;
    int FindStringExact(int start, const std::string& text) const override;
    int InsertItem(int index, const std::string& text) override;
    bool SetItemImages(int index, int image, int selectedImage) override;
    int SetCurSel(int index) override;
    void SetImageList(ImageList* images) override;
    WindowHandle GetEditControl() const override;
    void UpdateWindow() override;
    HWND Get() const { return combo_; }

  private:
    HWND combo_;
};

// The text of a window (WM_GETTEXT), whatever its length.
std::string WindowTextOf(HWND window);

}  // namespace dravolin::win32

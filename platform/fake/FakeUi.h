#pragma once
// The desktop, the dialog's window and host, resources, code page and the shell's interactive
// services, in memory. UI thread only.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>
#include "platform/CodePage.h"
#include "platform/Desktop.h"
#include "platform/DialogWindow.h"
#include "platform/Resources.h"
#include "platform/ShellServices.h"
#include "platform/fake/CallLog.h"
#include "platform/fake/FakeControls.h"

namespace dravolin::fake {

// Log: "InitCommonControls", "RegisterWindowMessageA <name>",
//      "ImageList_Create <cx> <cy> <flags hex> <initial> <grow>".
class FakeDesktop : public Desktop {
  public:
    explicit FakeDesktop(CallLog* log);
    void InitCommonControls() override;
    Point GetCursorPos() const override { return cursor; }
    int GetSystemMetrics(int index) const override;
    std::uint32_t RegisterWindowMessage(const std::string& name) override;
    std::unique_ptr<ImageList> CreateImageList(int cx, int cy, std::uint32_t flags, int initial,
                                               int grow) override;

    Point cursor{0, 0};
    std::map<int, int> metrics;  // SM_CXVSCROLL 17, SM_CXICON 32, SM_CYICON 32 by default
    // Image lists created so far, in order (owned by whoever asked for them).
    std::vector<FakeImageList*> imageLists;

  private:
    std::map<std::string, std::uint32_t> messages_;  // registered names -> ids from 0xC000
    CallLog* log_;
};

// Owns the list view and combo box of the template.
// Log: "SetIcon <big|small> <icon name>", "UpdateWindow", "SetTimer <id> <ms>",
//      "KillTimer <id>", "SetMsgResult <value>", "Default <message hex>",
//      "EraseIconBackground", "DrawIcon <x> <y> <icon name>".
class FakeDialogWindow : public DialogWindow {
  public:
    explicit FakeDialogWindow(CallLog* log);
    WindowHandle GetHandle() const override { return kHandle; }
    ListView& DriveList(int controlId) override;
    ComboBoxEx& TargetCombo(int controlId) override;
    void SetIcon(const Icon& icon, bool big) override;
    void UpdateWindow() override;
    Rect GetClientRect() const override { return clientRect; }
    Point ScreenToClient(Point screen) const override;
    bool IsIconic() const override { return iconic; }
    std::uint32_t SetTimer(std::uint32_t id, std::uint32_t milliseconds) override;
    void KillTimer(std::uint32_t id) override;
    void SetMsgResult(std::intptr_t result) override;
    std::intptr_t Default(std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) override;
    void EraseIconBackground() override;
    void DrawIcon(Point at, const Icon& icon) override;
    void SetCaption(const std::string& text) override { caption = text; }

    static constexpr WindowHandle kHandle = 0x1001;
    FakeListView list;
    FakeComboBoxEx combo;
    Rect clientRect{0, 0, 426, 171};
    Point origin{90, 60};  // client origin in screen coordinates
    bool iconic = false;
    bool failTimer = false;
    std::map<std::uint32_t, std::uint32_t> timers;  // live timers: id -> period
    std::optional<std::intptr_t> msgResult;
    int updates = 0;
    std::string caption = "Dravolin";  // the template's, until the dialog sets its own

  private:
    CallLog* log_;
};

// Runs a dialog: attaches the window, initialises it, runs `whileOpen` (the test's actions on
// the open dialog), then destroys it by routing WM_DESTROY. Returns IDCANCEL.
// Log: "DoModal", "EndDialog".
class FakeDialogHost : public DialogHost {
  public:
    FakeDialogHost(FakeDialogWindow& window, CallLog* log);
    std::intptr_t RunModal(CCopyDlg& dialog) override;
    std::function<void(CCopyDlg&)> whileOpen;

  private:
    FakeDialogWindow& window_;
    CallLog* log_;
};

// English or Russian string table of the program; icons 128, 130, 131 as shared icons named
// "resource:<id>".
class FakeResources : public Resources {
  public:
    enum class Language { English, Russian };
    explicit FakeResources(CallLog* log, Language language = Language::English);
    std::string LoadString(std::uint32_t id) const override;
    IconPtr LoadIcon(std::uint32_t id) const override;
    Language language;

  private:
    CallLog* log_;
};

// A code page whose lead bytes the test chooses (none by default: a single-byte code page).
class FakeCodePage : public CodePage {
  public:
    bool IsLeadByte(unsigned char byte) const override { return leadBytes.count(byte) != 0; }
    std::set<unsigned char> leadBytes;
};

// Log: "SHAutoComplete <edit hex> <flags hex>".
class FakeAutoComplete : public AutoComplete {
  public:
    explicit FakeAutoComplete(CallLog* log) : log_(log) {}
    void Enable(WindowHandle edit, std::uint32_t flags) override;

  private:
    CallLog* log_;
};

// Answers with `choice` (nullopt: cancelled). `during` runs while the browser is "open".
// Log: "SHBrowseForFolderA <owner hex> <csidl> <flags hex> <title>".
class FakeFolderPicker : public FolderPicker {
  public:
    explicit FakeFolderPicker(CallLog* log) : log_(log) {}
    std::optional<std::string> Browse(const Request& request) override;
    std::optional<std::string> choice;
    std::function<void()> during;
    std::vector<Request> requests;

  private:
    CallLog* log_;
};

// Log: "ShellExecuteA <owner hex> <file> <show>".
class FakeShellOpen : public ShellOpen {
  public:
    explicit FakeShellOpen(CallLog* log) : log_(log) {}
    void Open(WindowHandle owner, const std::string& file, int showCommand) override;

  private:
    CallLog* log_;
};

// Log: "ContextMenu <owner hex> <path> <x> <y>". Returns `result`; `during` runs while open.
class FakeShellContextMenu : public ShellContextMenu {
  public:
    explicit FakeShellContextMenu(CallLog* log) : log_(log) {}
    bool Show(WindowHandle owner, const std::string& path, Point client) override;
    bool result = false;
    std::function<void()> during;

  private:
    CallLog* log_;
};

}  // namespace dravolin::fake

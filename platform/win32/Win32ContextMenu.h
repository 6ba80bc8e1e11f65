#pragma once
// The shell's own context menu of a path, shown as a popup menu on the owner window. UI thread
// only: the menu runs a modal loop on the owner's thread.
#include "platform/ShellServices.h"
#include "platform/win32/AnsiToWide.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

// What the menu routine and the substitute window procedure share for one right click. The
// owner window's GWLP_USERDATA points here while the menu is open.
struct ShellMenuContext {
    ShellMenuContext() = default;
    ~ShellMenuContext() {
        if (allocator != nullptr) allocator->Release();
    }
    ShellMenuContext(const ShellMenuContext&) = delete;
    ShellMenuContext& operator=(const ShellMenuContext&) = delete;

    WNDPROC prevProc = nullptr;     // the owner's own procedure while subclassed, else null
    IContextMenu2* menu = nullptr;  // not owned; set only while a level 2 or 3 menu is open
    IMalloc* allocator = nullptr;   // owned; allocates and frees item-ID lists
};

// Where the menu takes the root of the shell's namespace and the shell's task allocator from.
class ShellNamespace {
  public:
    virtual ~ShellNamespace() = default;
    virtual HRESULT GetDesktopFolder(IShellFolder** folder) = 0;  // SHGetDesktopFolder
    virtual HRESULT GetMalloc(IMalloc** allocator) = 0;           // SHGetMalloc
};

// The shell's own namespace and allocator, which the program uses.
class SystemShellNamespace : public ShellNamespace {
  public:
    HRESULT GetDesktopFolder(IShellFolder** folder) override;
    HRESULT GetMalloc(IMalloc** allocator) override;
};

// Resolves `path` to its shell item, shows the item's context menu with its top-left corner at
// (x, y) in `owner`'s client coordinates, and invokes the chosen command. True exactly when a
// command was chosen and the shell reported its invocation as successful. Needs the context's
// allocator: without one nothing can be freed, so nothing is shown.
bool ShowShellContextMenu(ShellNamespace& shell, ShellMenuContext& context, HWND owner,
                          const char* path, int x, int y, UINT codePage);

// Installed on the owner window while a menu of interface level 2 or 3 is open: hands the menu
// messages to the context-menu object, everything else to the owner's own procedure.
LRESULT CALLBACK ContextMenuWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class Win32ShellContextMenu : public ShellContextMenu {
  public:
    Win32ShellContextMenu() : shell_(system_) {}
    // The namespace and the allocator come from `shell` instead of the shell's own.
    explicit Win32ShellContextMenu(ShellNamespace& shell) : shell_(shell) {}
    Win32ShellContextMenu(const Win32ShellContextMenu&) = delete;
    Win32ShellContextMenu& operator=(const Win32ShellContextMenu&) = delete;

    bool Show(WindowHandle owner, const std::string& path, Point client) override;

  private:
    SystemShellNamespace system_;
    ShellNamespace& shell_;
    ThreadAnsiCodePage codePage_;
};

}  // namespace dravolin::win32

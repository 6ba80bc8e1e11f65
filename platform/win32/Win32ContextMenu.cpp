#include "platform/win32/Win32ContextMenu.h"

#include <cstring>
#include "platform/win32/Handles.h"
#include "platform/win32/ItemIdList.h"

namespace dravolin::win32 {

namespace {

constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0xFFFFFFFFu;

// The owner's procedure is replaced for the time of the menu and put back however the tracking
// ends; the user-data slot keeps the context's address (nothing else reads it).
class Subclass {
  public:
    Subclass(ShellMenuContext& context, HWND owner, IContextMenu2* menu)
        : context_(context), owner_(owner) {
        ::SetWindowLongPtrA(owner_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&context_));
        context_.menu = menu;
        context_.prevProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
            owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ContextMenuWndProc)));
    }
    ~Subclass() {
        if (context_.prevProc != nullptr) {
            ::SetWindowLongPtrA(owner_, GWLP_WNDPROC,
                                reinterpret_cast<LONG_PTR>(context_.prevProc));
        }
        context_.prevProc = nullptr;
    }
    Subclass(const Subclass&) = delete;
    Subclass& operator=(const Subclass&) = delete;

  private:
    ShellMenuContext& context_;
    HWND owner_;
};

// Clears the context's menu pointer when the menu object goes.
class MenuInUse {
  public:
    explicit MenuInUse(ShellMenuContext& context) : context_(context) {}
    ~MenuInUse() { context_.menu = nullptr; }
    MenuInUse(const MenuInUse&) = delete;
    MenuInUse& operator=(const MenuInUse&) = delete;

  private:
    ShellMenuContext& context_;
};

// The items of an ID list, counted up to the terminating size 0.
int CountItems(LPCITEMIDLIST list) {
    int count = 0;
    for (auto* item = reinterpret_cast<const BYTE*>(list);
         reinterpret_cast<const SHITEMID*>(item)->cb != 0;
         item += reinterpret_cast<const SHITEMID*>(item)->cb) {
        ++count;
    }
    return count;
}

const SHITEMID* ItemAt(LPCITEMIDLIST list, int index) {
    auto* item = reinterpret_cast<const BYTE*>(list);
    for (int i = 0; i < index; ++i) item += reinterpret_cast<const SHITEMID*>(item)->cb;
    return reinterpret_cast<const SHITEMID*>(item);
}

// A one-item ID list of its own: the item's bytes and a 16-bit zero.
ItemIdList CopyItem(IMalloc* allocator, const SHITEMID* item) {
    auto* copy = static_cast<BYTE*>(allocator->Alloc(item->cb + sizeof(USHORT)));
    if (copy == nullptr) return ItemIdList(allocator);
    std::memcpy(copy, item, item->cb);
    const USHORT terminator = 0;
    std::memcpy(copy + item->cb, &terminator, sizeof(terminator));
    return ItemIdList(allocator, reinterpret_cast<LPITEMIDLIST>(copy));
}

// The richest menu interface the object offers: 3, 2, or 1 for the object as it came. At levels
// 2 and 3 `asLevel2` is the same object seen as IContextMenu2.
int Upgrade(ComPtr<IContextMenu>& menu, IContextMenu2** asLevel2) {
    *asLevel2 = nullptr;
    IContextMenu3* menu3 = nullptr;
    if (menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu3)) == S_OK) {
        *menu.Put() = menu3;
        *asLevel2 = menu3;
        return 3;
    }
    IContextMenu2* menu2 = nullptr;
    if (menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menu2)) == S_OK) {
        *menu.Put() = menu2;
        *asLevel2 = menu2;
        return 2;
    }
    return 1;
}

// Part B: from the absolute ID list to the chosen command. Every way out destroys the popup
// menu, releases the menu object, frees the absolute list and releases the current folder, in
// that order (the reverse of the declarations below).
bool ShowMenuForIdList(ShellNamespace& shell, ShellMenuContext& context, HWND owner,
                       ItemIdList absoluteList, int x, int y) {
    ComPtr<IShellFolder> current;
    const ItemIdList absolute(std::move(absoluteList));
    if (FAILED(shell.GetDesktopFolder(current.Put())) || !current) return false;

    const int count = CountItems(absolute.Get());
    if (count == 0) return false;

    // Bind down to the parent folder of the last item, one item at a time.
    for (int i = 0; i < count - 1; ++i) {
        const ItemIdList one = CopyItem(context.allocator, ItemAt(absolute.Get(), i));
        if (!one) return false;
        ComPtr<IShellFolder> child;
        if (FAILED(current->BindToObject(one.Get(), nullptr, IID_IShellFolder, child.PutVoid()))) {
            return false;
        }
        current = std::move(child);
    }

    // The last item is used in place: its terminating zero follows it in the absolute list.
    auto last = reinterpret_cast<LPCITEMIDLIST>(ItemAt(absolute.Get(), count - 1));
    ComPtr<IContextMenu> menu;
    if (FAILED(
            current->GetUIObjectOf(nullptr, 1, &last, IID_IContextMenu, nullptr, menu.PutVoid())) ||
        !menu) {
        return false;
    }
    IContextMenu2* menu2 = nullptr;
    const int level = Upgrade(menu, &menu2);
    const MenuInUse inUse(context);

    const UniqueMenu popup(::CreatePopupMenu());
    if (popup.Get() == nullptr) return false;
    if (FAILED(menu->QueryContextMenu(popup.Get(), 0, kFirstCommand, kLastCommand, CMF_NORMAL))) {
        return false;
    }

    UINT chosen = 0;
    {
        std::unique_ptr<Subclass> subclass;
        if (level >= 2) {
            subclass = std::make_unique<Subclass>(context, owner, menu2);
        } else {
            context.prevProc = nullptr;
        }
        POINT point{x, y};
        ::ClientToScreen(owner, &point);
        chosen = static_cast<UINT>(::TrackPopupMenu(popup.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                    point.x, point.y, 0, owner, nullptr));
    }  // the owner's own procedure is back before the command runs

    if (chosen == 0) return false;
    CMINVOKECOMMANDINFO invoke{};
    // The structure's own size: 36 bytes in a 32-bit program, 56 in a 64-bit one. A 64-bit
    // shell that took 36 would cut the structure before nShow.
    invoke.cbSize = sizeof(invoke);
    invoke.hwnd = owner;
    invoke.lpVerb = MAKEINTRESOURCEA(chosen - kFirstCommand);
    invoke.nShow = SW_SHOWNORMAL;
    return SUCCEEDED(menu->InvokeCommand(&invoke));
}

}  // namespace

#if !defined(_WIN64)
static_assert(sizeof(CMINVOKECOMMANDINFO) == 36);
#endif

HRESULT SystemShellNamespace::GetDesktopFolder(IShellFolder** folder) {
    return ::SHGetDesktopFolder(folder);
}

HRESULT SystemShellNamespace::GetMalloc(IMalloc** allocator) {
    return ::SHGetMalloc(allocator);
}

bool ShowShellContextMenu(ShellNamespace& shell, ShellMenuContext& context, HWND owner,
                          const char* path, int x, int y, UINT codePage) {
    if (context.allocator == nullptr) return false;

    // Part A: from the path to its absolute ID list.
    char full[MAX_PATH] = {};
    ::GetFullPathNameA(path, MAX_PATH, full, nullptr);
    ComPtr<IShellFolder> desktop;
    if (FAILED(shell.GetDesktopFolder(desktop.Put())) || !desktop) return false;

    ItemIdList absolute(context.allocator);
    bool parsed = false;
    {
        AnsiToWide wide(full, codePage);
        ULONG eaten = 0;
        ULONG attributes = 0;
        parsed = SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, wide.Get(), &eaten,
                                                     absolute.Put(), &attributes)) &&
                 absolute;
    }  // the conversion's heap block, if any, goes here
    if (!parsed) return false;
    return ShowMenuForIdList(shell, context, owner, std::move(absolute), x, y);
}

LRESULT CALLBACK ContextMenuWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* context = reinterpret_cast<ShellMenuContext*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (context == nullptr || context->prevProc == nullptr) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    const bool aboutMenuItem = (message == WM_DRAWITEM || message == WM_MEASUREITEM) && wParam == 0;
    if (aboutMenuItem || message == WM_INITMENUPOPUP) {
        if (context->menu != nullptr) context->menu->HandleMenuMsg(message, wParam, lParam);
        return message == WM_INITMENUPOPUP ? 0 : 1;
    }
    return ::CallWindowProcA(context->prevProc, window, message, wParam, lParam);
}

// Steps of the right click after the row was found: a context of its own with the shell's
// allocator (the allocator's result is not examined), the menu, and the context's end, which
// releases the allocator also when an exception passes.
bool Win32ShellContextMenu::Show(WindowHandle owner, const std::string& path, Point client) {
    ShellMenuContext context;
    shell_.GetMalloc(&context.allocator);
    return ShowShellContextMenu(shell_, context, reinterpret_cast<HWND>(owner), path.c_str(),
                                client.x, client.y, codePage_.Get());
}

}  // namespace dravolin::win32

#include "TestShell.h"

#include <cstring>

namespace dravolin::win32::test {

namespace {

// An item of the test's ID lists: its size, then its depth below the desktop.
struct Item {
    USHORT cb;
    USHORT depth;
};

const Item* FirstItem(LPCITEMIDLIST list) {
    return reinterpret_cast<const Item*>(list);
}

// Answers QueryInterface with `self` for the interfaces listed.
template <typename Self>
HRESULT Answer(Self* self, REFIID riid, void** object, std::initializer_list<const IID*> offered) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    for (const IID* iid : offered) {
        if (IsEqualIID(riid, *iid)) {
            *object = self;
            self->AddRef();
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

}  // namespace

// --- TestMalloc ---

HRESULT TestMalloc::QueryInterface(REFIID riid, void** object) {
    return Answer(this, riid, object, {&IID_IUnknown, &IID_IMalloc});
}

void* TestMalloc::Alloc(SIZE_T size) {
    ++allocations_;
    // The parse takes the first block, the copies of the items the next ones.
    if (allocations_ == 3 && shell_.Fails(ShellFailure::CopyAllocation)) return nullptr;
    auto block = std::make_unique<unsigned char[]>(size);
    void* address = block.get();
    blocks_.emplace(address, std::move(block));
    return address;
}

void TestMalloc::Free(void* block) {
    if (block == nullptr) return;
    if (blocks_.erase(block) == 0) shell_.Misuse("a block the allocator never gave was freed");
}

// --- TestMenu ---

HRESULT TestMenu::QueryInterface(REFIID riid, void** object) {
    if (level_ >= 3 && IsEqualIID(riid, IID_IContextMenu3)) {
        return Answer(static_cast<IContextMenu3*>(this), riid, object, {&IID_IContextMenu3});
    }
    if (level_ >= 2 && IsEqualIID(riid, IID_IContextMenu2)) {
        return Answer(static_cast<IContextMenu2*>(this), riid, object, {&IID_IContextMenu2});
    }
    return Answer(static_cast<IContextMenu*>(this), riid, object,
                  {&IID_IUnknown, &IID_IContextMenu});
}

HRESULT TestMenu::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                   UINT flags) {
    {
        std::lock_guard lock(mutex_);
        ++calls_.queries;
        calls_.indexMenu = indexMenu;
        calls_.idCmdFirst = idCmdFirst;
        calls_.idCmdLast = idCmdLast;
        calls_.flags = flags;
    }
    if (shell_.Fails(ShellFailure::QueryContextMenu)) return E_FAIL;
    const char* labels[] = {"&a First", "&b Second", "&c Third"};
    UINT position = indexMenu;
    for (std::size_t i = 0; i < std::size(kOffsets); ++i) {
        ::InsertMenuA(menu, position++, MF_BYPOSITION | MF_STRING, idCmdFirst + kOffsets[i],
                      labels[i]);
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kOffsets[std::size(kOffsets) - 1] + 1);
}

HRESULT TestMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    {
        std::lock_guard lock(mutex_);
        ++calls_.invocations;
        calls_.invoked = *info;
        calls_.verbIsOffset = IS_INTRESOURCE(info->lpVerb);
        calls_.procAtInvocation = ::GetWindowLongPtrA(info->hwnd, GWLP_WNDPROC);
    }
    return shell_.Fails(ShellFailure::Invoke) ? E_FAIL : S_OK;
}

HRESULT TestMenu::HandleMenuMsg(UINT message, WPARAM wParam, LPARAM) {
    std::lock_guard lock(mutex_);
    calls_.handled.emplace_back(message, wParam);
    return S_OK;
}

HRESULT TestMenu::HandleMenuMsg2(UINT, WPARAM, LPARAM, LRESULT* result) {
    std::lock_guard lock(mutex_);
    ++calls_.handled2;
    if (result != nullptr) *result = 0;
    return S_OK;
}

// --- TestFolder ---

HRESULT TestFolder::QueryInterface(REFIID riid, void** object) {
    return Answer(this, riid, object, {&IID_IUnknown, &IID_IShellFolder});
}

// Any name parses to an absolute list of the shell's `items` items, allocated as the shell
// allocates: through the task allocator, in one block.
HRESULT TestFolder::ParseDisplayName(HWND owner, IBindCtx* context, LPWSTR name, ULONG* eaten,
                                     PIDLIST_RELATIVE* list, ULONG* attributes) {
    if (depth_ != 0) shell_.Misuse("a path was parsed below the desktop");
    if (owner != nullptr || context != nullptr) shell_.Misuse("the parse got an owner or context");
    if (attributes != nullptr && *attributes != 0) shell_.Misuse("the parse asked for attributes");
    if (name != nullptr) shell_.parsed_ = name;
    if (eaten != nullptr) *eaten = static_cast<ULONG>(shell_.parsed_.size());
    *list = nullptr;
    if (shell_.Fails(ShellFailure::Parse)) return E_FAIL;
    if (shell_.Fails(ShellFailure::ParseGivesNoList)) return S_OK;
    const int items = shell_.Fails(ShellFailure::EmptyList) ? 0 : shell_.items_;
    const std::size_t size = sizeof(Item) * items + sizeof(USHORT);
    auto* bytes = static_cast<unsigned char*>(shell_.allocator_->Alloc(size));
    if (bytes == nullptr) return E_OUTOFMEMORY;
    for (int i = 0; i < items; ++i) {
        const Item item{sizeof(Item), static_cast<USHORT>(i)};
        std::memcpy(bytes + sizeof(Item) * i, &item, sizeof(item));
    }
    std::memset(bytes + sizeof(Item) * items, 0, sizeof(USHORT));
    *list = reinterpret_cast<PIDLIST_RELATIVE>(bytes);
    return S_OK;
}

// Item k of this folder's level, given as a one-item list of its own, binds to the folder one
// level down.
HRESULT TestFolder::BindToObject(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID riid,
                                 void** object) {
    *object = nullptr;
    ++shell_.binds_;
    const Item* item = FirstItem(list);
    USHORT terminator = 1;
    std::memcpy(&terminator, reinterpret_cast<const unsigned char*>(item) + sizeof(Item),
                sizeof(terminator));
    if (item->cb != sizeof(Item) || item->depth != depth_ || terminator != 0) {
        shell_.Misuse("BindToObject got something else than its own item alone");
    }
    if (context != nullptr || !IsEqualIID(riid, IID_IShellFolder)) {
        shell_.Misuse("BindToObject was asked for something else than a folder");
    }
    if (shell_.binds_ == 2 && shell_.Fails(ShellFailure::SecondBind)) return E_FAIL;
    shell_.folders_.push_back(std::make_unique<TestFolder>(shell_, depth_ + 1));
    return shell_.folders_.back()->QueryInterface(riid, object);
}

// The last item of the list, in its parent folder, has the context-menu object.
HRESULT TestFolder::GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID riid,
                                  UINT* reserved, void** object) {
    *object = nullptr;
    ++shell_.uiObjects_;
    if (owner != nullptr || count != 1 || reserved != nullptr ||
        !IsEqualIID(riid, IID_IContextMenu)) {
        shell_.Misuse("GetUIObjectOf was asked for something else than one item's menu");
    }
    if (depth_ != shell_.items_ - 1 || FirstItem(items[0])->depth != depth_) {
        shell_.Misuse("GetUIObjectOf was asked in another folder than the last item's");
    }
    if (shell_.Fails(ShellFailure::UiObject)) return E_FAIL;
    return shell_.menu_->QueryInterface(IID_IContextMenu, object);
}

// --- TestShell ---

TestShell::TestShell(int level, ShellFailure failure, int items)
    : failure_(failure),
      items_(items),
      allocator_(std::make_unique<TestMalloc>(*this)),
      menu_(std::make_unique<TestMenu>(*this, level)) {
    folders_.push_back(std::make_unique<TestFolder>(*this, 0));
}

TestShell::~TestShell() = default;

bool TestShell::Fails(ShellFailure step) {
    if (step != failure_) return false;
    failureReached_ = true;
    return true;
}

HRESULT TestShell::GetDesktopFolder(IShellFolder** folder) {
    *folder = nullptr;
    ++desktopRequests_;
    if (desktopRequests_ == 1 && Fails(ShellFailure::DesktopFolder)) return E_FAIL;
    if (desktopRequests_ == 2 && Fails(ShellFailure::SecondDesktopFolder)) return E_FAIL;
    return folders_.front()->QueryInterface(IID_IShellFolder, reinterpret_cast<void**>(folder));
}

HRESULT TestShell::GetMalloc(IMalloc** allocator) {
    *allocator = nullptr;
    if (Fails(ShellFailure::Malloc)) return E_FAIL;
    return allocator_->QueryInterface(IID_IMalloc, reinterpret_cast<void**>(allocator));
}

std::string TestShell::Leaks() const {
    std::string leaks = misuse_;
    leaks += allocator_->Imbalance("the allocator");
    if (allocator_->Outstanding() != 0) {
        leaks += std::to_string(allocator_->Outstanding()) + " blocks not freed; ";
    }
    leaks += menu_->Imbalance("the menu object");
    for (std::size_t i = 0; i < folders_.size(); ++i) {
        leaks += folders_[i]->Imbalance(i == 0 ? "the desktop folder" : "a bound folder");
    }
    return leaks;
}

}  // namespace dravolin::win32::test

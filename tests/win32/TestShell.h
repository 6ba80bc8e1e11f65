#pragma once
// A shell namespace of the test's own for the context-menu routine: a desktop folder, the
// folders bound below it, a context-menu object of interface level 1, 2 or 3 and a task
// allocator. Each counts what the routine takes and gives back, and one step can be made to
// fail. The objects belong to the TestShell, which keeps one reference to each: the routine
// has given back everything it took when every object is back at that one reference and every
// block allocated is freed.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32ContextMenu.h"

namespace dravolin::win32::test {

// The step at which the namespace fails.
enum class ShellFailure {
    None,
    Malloc,               // no allocator
    DesktopFolder,        // the desktop folder the path is parsed with
    SecondDesktopFolder,  // the desktop folder the binding starts from
    Parse,                // ParseDisplayName fails
    ParseGivesNoList,     // ParseDisplayName succeeds without a list
    EmptyList,            // the list parsed holds no item
    CopyAllocation,       // the copy of the second item cannot be allocated
    SecondBind,           // the second item cannot be bound
    UiObject,             // GetUIObjectOf fails
    QueryContextMenu,     // the menu object cannot fill the menu
    Invoke,               // the chosen command fails
};

// IUnknown's counting half; the owner never lets an object go below its own reference.
template <typename Interface>
class Counted : public Interface {
  public:
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--refs_ < lowest_) lowest_ = refs_;
        return static_cast<ULONG>(refs_);
    }
    // Empty when the object holds just its owner's reference and never held fewer.
    std::string Imbalance(const std::string& name) const {
        if (lowest_ < 1) return name + " was released once too often; ";
        if (refs_ != 1) return name + " holds " + std::to_string(refs_ - 1) + " references; ";
        return {};
    }

  private:
    long refs_ = 1;
    long lowest_ = 1;
};

class TestShell;

class TestMalloc : public Counted<IMalloc> {
  public:
    explicit TestMalloc(TestShell& shell) : shell_(shell) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    void* STDMETHODCALLTYPE Alloc(SIZE_T size) override;
    void* STDMETHODCALLTYPE Realloc(void*, SIZE_T) override { return nullptr; }
    void STDMETHODCALLTYPE Free(void* block) override;
    SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return static_cast<SIZE_T>(-1); }
    int STDMETHODCALLTYPE DidAlloc(void* block) override { return blocks_.count(block) ? 1 : 0; }
    void STDMETHODCALLTYPE HeapMinimize() override {}

    int Allocations() const { return allocations_; }
    std::size_t Outstanding() const { return blocks_.size(); }

  private:
    TestShell& shell_;
    std::map<void*, std::unique_ptr<unsigned char[]>> blocks_;
    int allocations_ = 0;
};

// What the owner of a menu saw of the routine, recorded on the menu's thread and read by the
// test's driver thread.
struct MenuCalls {
    UINT indexMenu = 0, idCmdFirst = 0, idCmdLast = 0, flags = 0xFFFFFFFF;
    int queries = 0;
    int invocations = 0;
    CMINVOKECOMMANDINFO invoked{};
    bool verbIsOffset = false;      // lpVerb was an integer resource
    LONG_PTR procAtInvocation = 0;  // the owner's window procedure when the command ran
    std::vector<std::pair<UINT, WPARAM>> handled;  // HandleMenuMsg messages, in order
    int handled2 = 0;                              // HandleMenuMsg2 calls
};

class TestMenu : public Counted<IContextMenu3> {
  public:
    // Commands at these offsets from the first identifier, labelled &a, &b, &c.
    static constexpr UINT kOffsets[] = {0, 4, 9};

    TestMenu(TestShell& shell, int level) : shell_(shell), level_(level) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                               UINT idCmdLast, UINT flags) override;
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam,
                                             LRESULT* result) override;

    MenuCalls Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    TestShell& shell_;
    int level_;
    mutable std::mutex mutex_;
    MenuCalls calls_;
};

class TestFolder : public Counted<IShellFolder> {
  public:
    TestFolder(TestShell& shell, int depth) : shell_(shell), depth_(depth) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND owner, IBindCtx* context, LPWSTR name,
                                               ULONG* eaten, PIDLIST_RELATIVE* list,
                                               ULONG* attributes) override;
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID riid,
                                           void** object) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID,
                                            void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items,
                                            REFIID riid, UINT* reserved, void** object) override;
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF,
                                        PITEMID_CHILD*) override {
        return E_NOTIMPL;
    }

  private:
    TestShell& shell_;
    int depth_;  // 0 for the desktop; item k binds to depth k + 1
};

class TestShell : public ShellNamespace {
  public:
    // A path parses to `items` items; the menu object offers interface `level`.
    TestShell(int level, ShellFailure failure, int items = 3);
    ~TestShell() override;
    TestShell(const TestShell&) = delete;
    TestShell& operator=(const TestShell&) = delete;

    HRESULT GetDesktopFolder(IShellFolder** folder) override;
    HRESULT GetMalloc(IMalloc** allocator) override;

    // Empty when every object is back at its owner's reference and every block is freed;
    // otherwise what was not given back, and any misuse the objects noticed.
    std::string Leaks() const;
    // Whether the chosen failure was reached: a case that never reaches it tests nothing.
    bool FailureReached() const { return failureReached_; }
    TestMenu& Menu() { return *menu_; }
    const std::wstring& ParsedName() const { return parsed_; }
    int Binds() const { return binds_; }
    int UiObjects() const { return uiObjects_; }

  private:
    friend class TestMalloc;
    friend class TestMenu;
    friend class TestFolder;
    bool Fails(ShellFailure step);
    void Misuse(const std::string& what) { misuse_ += what + "; "; }

    ShellFailure failure_;
    int items_;
    bool failureReached_ = false;
    int desktopRequests_ = 0;
    int binds_ = 0;
    int uiObjects_ = 0;
    std::wstring parsed_;
    std::string misuse_;
    std::unique_ptr<TestMalloc> allocator_;
    std::unique_ptr<TestMenu> menu_;
    std::vector<std::unique_ptr<TestFolder>> folders_;  // [0] is the desktop
};

}  // namespace dravolin::win32::test

#include "Win32TestSupport.h"

#include <thread>
#include "Png.h"
#include "app/CopyApp.h"
#include "app/Resource.h"
#include "platform/win32/Win32Platform.h"

namespace dravolin::win32::test {

// Messages sent to the waiting thread are served meanwhile: a hook it set on another thread is
// called through it.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    }
    return true;
}

RawValue ReadRaw(HKEY root, const std::string& subKey, const std::string& name) {
    RawValue value;
    HKEY key = nullptr;
    value.status = ::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (value.status != ERROR_SUCCESS) return value;
    DWORD size = 0;
    value.status = ::RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS && size > 0) {
        std::vector<char> buffer(size);
        value.status = ::RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                                          reinterpret_cast<BYTE*>(buffer.data()), &size);
        value.bytes.assign(buffer.data(), size);
    }
    ::RegCloseKey(key);
    return value;
}

void WriteRaw(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
              const std::string& bytes) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return;
    }
    // A byte that is not a NUL after the data keeps RegSetValueExA from counting one itself.
    const std::string guarded = bytes + '\x01';
    ::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(guarded.data()),
                     static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
}

bool KeyExists(HKEY root, const std::string& subKey) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

void DeleteKeyTree(HKEY root, const std::string& subKey) {
    ::SHDeleteKeyA(root, subKey.c_str());
}

namespace {

struct FindState {
    HWND owner;
    const char* className;
    HWND found = nullptr;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    if (::IsWindowVisible(window) && ClassOf(window) == state->className &&
        (state->owner == nullptr || ::GetWindow(window, GW_OWNER) == state->owner)) {
        state->found = window;
        return FALSE;
    }
    return TRUE;
}

// The main dialog: a dialog window of the thread that holds the drive list.
HWND FindMainDialog(DWORD thread) {
    HWND found = nullptr;
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM param) -> BOOL {
            if (ClassOf(window) == "#32770" && ::GetDlgItem(window, IDC_DRIVES) != nullptr &&
                ::IsWindowVisible(window)) {
                *reinterpret_cast<HWND*>(param) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

struct ChildSearch {
    std::string wanted;
    bool byClass;
    HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    const std::string actual = search->byClass ? ClassOf(window) : TextOf(window);
    if (actual == search->wanted) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindOwnedWindow(DWORD thread, HWND owner, const char* className) {
    FindState state{owner, className};
    ::EnumThreadWindows(thread, MatchOwned, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND FindVisibleTopLevel(const char* className) {
    FindState state{nullptr, className};
    ::EnumWindows(MatchOwned, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND FindTopLevel(const std::function<bool(HWND)>& matches) {
    struct Search {
        const std::function<bool(HWND)>& matches;
        HWND found = nullptr;
    } search{matches};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* search = reinterpret_cast<Search*>(param);
            if (!search->matches(window)) return TRUE;
            search->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindDialogOf(DWORD processId) {
    return FindTopLevel([processId](HWND window) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        return owner == processId && ClassOf(window) == "#32770" &&
               ::GetDlgItem(window, IDC_DRIVES) != nullptr && ::IsWindowVisible(window);
    });
}

HWND FindChildByClass(HWND parent, const char* className) {
    ChildSearch search{className, true};
    ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindChildByText(HWND parent, const std::string& text) {
    ChildSearch search{text, false};
    ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string TextOf(HWND window) {
    char buffer[1024] = {};
    const LRESULT length =
        ::SendMessageA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string ClassOf(HWND window) {
    char buffer[256] = {};
    const int length = ::GetClassNameA(window, buffer, sizeof(buffer));
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool RunProgram(const std::function<void(HWND dialog)>& drive,
                const std::function<void(Platform& platform)>& configure,
                const ArchiveOptions& archive) {
    const DWORD uiThread = ::GetCurrentThreadId();
    bool shown = false;
    std::thread driver([&] {
        HWND dialog = nullptr;
        shown = WaitUntil([&] { return (dialog = FindMainDialog(uiThread)) != nullptr; });
        if (!shown) return;
        drive(dialog);
        // As the Exit button does; a dialog already closed by the driver ignores it.
        if (::IsWindow(dialog)) {
            ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
    });
    {
        Win32Platform platform(::GetModuleHandleA(nullptr));
        if (configure) configure(platform.Get());
        CCopyApp app(platform.Get(), archive);
        app.InitInstance();
    }
    driver.join();
    return shown;
}

namespace {

INT_PTR CALLBACK InertDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

TemplateDialog::TemplateDialog() {
    ::InitCommonControls();
    dialog_ = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                   InertDialogProc, 0);
}

TemplateDialog::~TemplateDialog() {
    if (dialog_ != nullptr) ::DestroyWindow(dialog_);
}

std::string Ansi(const std::string& utf8) {
    const int units =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          units);
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), units, ansi.data(), bytes, nullptr, nullptr);
    return ansi;
}

std::string Env(const char* name) {
    char buffer[32768] = {};
    const DWORD length = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return length > 0 && length < sizeof(buffer) ? std::string(buffer, length) : std::string();
}

std::string WindowsPathOf(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

namespace {

std::vector<std::uint8_t> Capture(HWND window, int* width, int* height) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    std::vector<std::uint8_t> rgba;
    if (*width <= 0 || *height <= 0) return rgba;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = *width;
    info.bmiHeader.biHeight = -*height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, *width, *height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
        ::GdiFlush();
        const auto* bgra = static_cast<const std::uint8_t*>(bits);
        rgba.resize(static_cast<std::size_t>(*width) * *height * 4);
        for (std::size_t i = 0; i < rgba.size(); i += 4) {
            rgba[i] = bgra[i + 2];
            rgba[i + 1] = bgra[i + 1];
            rgba[i + 2] = bgra[i];
            rgba[i + 3] = 0xFF;
        }
        ::SelectObject(memory, old);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return rgba;
}

}  // namespace

bool SaveScreenshot(HWND window, const std::string& path) {
    int width = 0, height = 0;
    std::vector<std::uint8_t> previous;
    std::vector<std::uint8_t> current;
    const bool stable = WaitUntil(
        [&] {
            previous = std::move(current);
            current = Capture(window, &width, &height);
            return !current.empty() && current == previous;
        },
        std::chrono::milliseconds(10000));
    return stable && WritePng(path, width, height, current);
}

}  // namespace dravolin::win32::test

#include "platform/win32/archive/Win32ArchiveWindows.h"

#include <atomic>
#include <deque>
#include <mutex>
#include "app/Resource.h"
#include "platform/win32/Win32Texts.h"
#include "platform/win32/res/Win32Resource.h"

namespace dravolin::win32 {

namespace {

constexpr const wchar_t* kHostClass = L"DravolinArchiveHost";
// To the host: create a progress window (lParam: the request), close one (wParam: the window),
// show the notifications waiting.
constexpr UINT kCreateProgress = WM_APP + 1;
constexpr UINT kCloseProgress = WM_APP + 2;
constexpr UINT kShowNotices = WM_APP + 3;
// A progress window shows the latest progress on a timer: WM_TIMER comes only when nothing
// else waits, so however fast a copy reports, the person's clicks and the painting come first.
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMilliseconds = 100;
constexpr UINT kIconId = 1;
constexpr int kBarSteps = 1000;

}  // namespace

// Shared by the worker that reports and the window that shows it.
struct Win32ArchiveWindows::Progress {
    char letter = 0;
    std::wstring label;
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::wstring file;
    bool changed = false;
};

namespace {

struct CreateRequest {
    HWND owner;
    std::shared_ptr<Win32ArchiveWindows::Progress> progress;
};

struct Notice {
    bool needsPerson;
    std::wstring text;
};

// The worker's side of a window: it only leaves its progress for the window and never waits.
class PostedProgress : public ArchiveProgress {
  public:
    PostedProgress(HWND host, HWND window, std::shared_ptr<Win32ArchiveWindows::Progress> progress)
        : host_(host), window_(window), progress_(std::move(progress)) {}
    ~PostedProgress() override {
        if (window_) ::PostMessageW(host_, kCloseProgress, reinterpret_cast<WPARAM>(window_), 0);
    }
    PostedProgress(const PostedProgress&) = delete;
    PostedProgress& operator=(const PostedProgress&) = delete;

    bool OnProgress(std::uint64_t bytesDone, std::uint64_t bytesTotal,
                    const std::wstring& file) override {
        {
            const std::lock_guard<std::mutex> lock(progress_->mutex);
            progress_->done = bytesDone;
            progress_->total = bytesTotal;
            if (progress_->file != file) progress_->file = file;
            progress_->changed = true;
        }
        return !progress_->cancelled.load();
    }

  private:
    HWND host_;
    HWND window_;
    std::shared_ptr<Win32ArchiveWindows::Progress> progress_;
};

std::wstring ByteText(std::uint64_t bytes) {
    wchar_t text[64] = {};
    ::StrFormatByteSizeW(static_cast<LONGLONG>(bytes), text, 64);
    return text;
}

void Stop(HWND window, Win32ArchiveWindows::Progress& progress) {
    if (progress.cancelled.exchange(true)) return;
    const HINSTANCE instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
    ::EnableWindow(::GetDlgItem(window, IDCANCEL), FALSE);
    ::SetDlgItemTextW(window, IDC_PROGRESS_BYTES,
                      LoadWideString(instance, IDS_PROGRESS_STOPPING).c_str());
}

void Refresh(HWND window, Win32ArchiveWindows::Progress& progress) {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::wstring file;
    {
        const std::lock_guard<std::mutex> lock(progress.mutex);
        if (!std::exchange(progress.changed, false)) return;
        done = progress.done;
        total = progress.total;
        file = progress.file;
    }
    ::SetDlgItemTextW(window, IDC_PROGRESS_FILE, file.c_str());
    const auto position = total == 0 ? 0 : static_cast<int>(done * kBarSteps / total);
    ::SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
    if (progress.cancelled.load()) return;
    const HINSTANCE instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
    ::SetDlgItemTextW(
        window, IDC_PROGRESS_BYTES,
        FillIn(LoadWideString(instance, IDS_PROGRESS_BYTES), {ByteText(done), ByteText(total)})
            .c_str());
}

// The window takes no part in its owner's dialog navigation, so its Cancel button hears
// Escape itself.
LRESULT CALLBACK CancelKeys(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        ::SendMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        return 0;
    }
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(button, CancelKeys, id);
    return ::DefSubclassProc(button, message, wParam, lParam);
}

// Every way a person can end the window (the button, Escape, the close box) stops the copy;
// the window goes once the worker has let go of the disc.
INT_PTR CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* progress =
        reinterpret_cast<Win32ArchiveWindows::Progress*>(::GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            ::SetWindowLongPtrW(window, DWLP_USER, lParam);
            progress = reinterpret_cast<Win32ArchiveWindows::Progress*>(lParam);
            const HINSTANCE instance =
                reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
            const std::wstring letter(1, static_cast<wchar_t>(progress->letter));
            ::SetDlgItemTextW(
                window, IDC_PROGRESS_DISC,
                FillIn(LoadWideString(instance, IDS_PROGRESS_DISC), {letter, progress->label})
                    .c_str());
            ::SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, kBarSteps);
            ::SetWindowSubclass(::GetDlgItem(window, IDCANCEL), CancelKeys, 1, 0);
            ::SetTimer(window, kRefreshTimer, kRefreshMilliseconds, nullptr);
            return TRUE;
        }
        case WM_TIMER:
            if (wParam == kRefreshTimer && progress) Refresh(window, *progress);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && progress) Stop(window, *progress);
            return TRUE;
        case WM_CLOSE:
            if (progress) Stop(window, *progress);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

// What the workers hold: the host window while it exists, and the notifications it has yet to
// show.
struct Win32ArchiveWindows::Link : ArchiveDesk {
    std::mutex mutex;
    HWND host = nullptr;
    std::deque<Notice> notices;

    HWND Host() {
        const std::lock_guard<std::mutex> lock(mutex);
        return host;
    }

    std::unique_ptr<ArchiveProgress> OpenProgress(WindowHandle owner, char letter,
                                                  const std::wstring& label) override {
        auto progress = std::make_shared<Progress>();
        progress->letter = letter;
        progress->label = label;
        const HWND hostWindow = Host();
        HWND window = nullptr;
        if (hostWindow && owner != 0) {
            CreateRequest request{reinterpret_cast<HWND>(owner), progress};
            // Served by the UI thread's message loop, the dialog's or any modal one inside it.
            window = reinterpret_cast<HWND>(
                ::SendMessageW(hostWindow, kCreateProgress, 0, reinterpret_cast<LPARAM>(&request)));
        }
        return std::make_unique<PostedProgress>(hostWindow, window, std::move(progress));
    }

    void Notify(bool needsPerson, const std::wstring& text) override {
        HWND hostWindow = nullptr;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!host) return;
            hostWindow = host;
            notices.push_back(Notice{needsPerson, text});
        }
        ::PostMessageW(hostWindow, kShowNotices, 0, 0);
    }
};

Win32ArchiveWindows::Win32ArchiveWindows(HINSTANCE instance)
    : instance_(instance), link_(std::make_shared<Link>()) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = kHostClass;
    ::RegisterClassExW(&windowClass);  // fails harmlessly when a second object registers again
    host_ = ::CreateWindowExW(0, kHostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_,
                              nullptr);
    if (!host_) return;
    ::SetWindowLongPtrW(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    const std::lock_guard<std::mutex> lock(link_->mutex);
    link_->host = host_;
}

Win32ArchiveWindows::~Win32ArchiveWindows() {
    {
        const std::lock_guard<std::mutex> lock(link_->mutex);
        link_->host = nullptr;
        link_->notices.clear();
    }
    for (const auto& [window, progress] : progress_) ::DestroyWindow(window);
    progress_.clear();
    if (iconShown_) {
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof(icon);
        icon.hWnd = host_;
        icon.uID = kIconId;
        ::Shell_NotifyIconW(NIM_DELETE, &icon);
    }
    if (host_) ::DestroyWindow(host_);
}

std::shared_ptr<ArchiveDesk> Win32ArchiveWindows::Desk() const {
    return link_;
}

LRESULT CALLBACK Win32ArchiveWindows::HostProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    auto* self = reinterpret_cast<Win32ArchiveWindows*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) return self->Handle(message, wParam, lParam);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32ArchiveWindows::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kCreateProgress: {
            const auto* request = reinterpret_cast<const CreateRequest*>(lParam);
            return reinterpret_cast<LRESULT>(CreateProgress(request->owner, request->progress));
        }
        case kCloseProgress: {
            const auto window = reinterpret_cast<HWND>(wParam);
            if (progress_.erase(window) > 0) ::DestroyWindow(window);
            return 0;
        }
        case kShowNotices:
            ShowNotices();
            return 0;
        default:
            return ::DefWindowProcW(host_, message, wParam, lParam);
    }
}

// Shown without taking the focus from whatever the person is doing in the dialog.
HWND Win32ArchiveWindows::CreateProgress(HWND owner, std::shared_ptr<Progress> progress) {
    if (!::IsWindow(owner)) return nullptr;
    const HWND window =
        ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_ARCHIVE_PROGRESS), owner, ProgressProc,
                             reinterpret_cast<LPARAM>(progress.get()));
    if (!window) return nullptr;
    progress_[window] = std::move(progress);
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

// A shell without a notification area (Wine with no system tray) refuses the icon: the
// notifications are then dropped, and nothing waits.
void Win32ArchiveWindows::ShowNotices() {
    std::deque<Notice> notices;
    {
        const std::lock_guard<std::mutex> lock(link_->mutex);
        notices.swap(link_->notices);
    }
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = host_;
    icon.uID = kIconId;
    if (!iconShown_) {
        icon.uFlags = NIF_ICON | NIF_TIP;
        icon.hIcon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                     IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        ::lstrcpynW(icon.szTip, L"Dravolin", ARRAYSIZE(icon.szTip));
        iconShown_ = ::Shell_NotifyIconW(NIM_ADD, &icon) != FALSE;
        if (!iconShown_) return;
    }
    // A disc that needs a person gets a balloon; the others only leave their word in the
    // icon's tip, for whoever looks.
    for (const Notice& notice : notices) {
        icon.uFlags = NIF_TIP;
        ::lstrcpynW(icon.szTip, notice.text.c_str(), ARRAYSIZE(icon.szTip));
        if (notice.needsPerson) {
            icon.uFlags |= NIF_INFO;
            ::lstrcpynW(icon.szInfo, notice.text.c_str(), ARRAYSIZE(icon.szInfo));
            ::lstrcpynW(icon.szInfoTitle, L"Dravolin", ARRAYSIZE(icon.szInfoTitle));
            icon.dwInfoFlags = NIIF_WARNING;
        }
        ::Shell_NotifyIconW(NIM_MODIFY, &icon);
    }
}

}  // namespace dravolin::win32

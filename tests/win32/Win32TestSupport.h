#pragma once
// Helpers of the Win32 tests: waiting on conditions, the registry read raw, the dialog run on
// the test's thread while another thread drives it, the template dialog, screenshots.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "engine/ArchiveSettings.h"
#include "platform/Platform.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32::test {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `timeout` has passed; true when it held. Serves the
// calling thread's messages meanwhile.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(15000));

// A registry value as RegQueryValueExA returns it.
struct RawValue {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = 0;
    std::string bytes;
};
RawValue ReadRaw(HKEY root, const std::string& subKey, const std::string& name);
// Writes exactly `bytes` with `type` (RegSetValueExA), creating the key.
void WriteRaw(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
              const std::string& bytes);
bool KeyExists(HKEY root, const std::string& subKey);
void DeleteKeyTree(HKEY root, const std::string& subKey);

inline constexpr const char* kHistoryKey = "Software\\Dravolin";
inline constexpr const char* kAutoplayKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\CancelAutoplay\\"
    "CLSID";
inline constexpr const char* kAutoplayValue = "00000000-0000-0000-0000-000000000000";

// Runs the whole program (CCopyApp with the Win32 platform) on the calling thread. `drive` runs
// on another thread with the dialog's window once it is shown; afterwards the dialog is closed
// as the Exit button closes it. `configure`, if given, may replace services of the platform
// before the program starts; `archive` is archive mode as the command line asks for it. False
// when no dialog appeared.
bool RunProgram(const std::function<void(HWND dialog)>& drive,
                const std::function<void(Platform& platform)>& configure = {},
                const ArchiveOptions& archive = {});

// The dialog's top-level windows on `thread` other than `except`, e.g. the folder browser.
HWND FindOwnedWindow(DWORD thread, HWND owner, const char* className);
// A visible top-level window of the class, in any thread.
HWND FindVisibleTopLevel(const char* className);
// The first top-level window for which `matches` holds, in any thread and process.
HWND FindTopLevel(const std::function<bool(HWND)>& matches);
// The main dialog of Dravolin.exe running as the process given, once it is shown.
HWND FindDialogOf(DWORD processId);
// The first descendant of `parent` with the class, or with the text, given.
HWND FindChildByClass(HWND parent, const char* className);
HWND FindChildByText(HWND parent, const std::string& text);
std::string TextOf(HWND window);
std::string ClassOf(HWND window);

// Dialog template IDD_MAIN of the test executable, created modelessly with a procedure that
// does nothing, and destroyed with the object.
class TemplateDialog {
  public:
    TemplateDialog();
    ~TemplateDialog();
    TemplateDialog(const TemplateDialog&) = delete;
    TemplateDialog& operator=(const TemplateDialog&) = delete;
    HWND Get() const { return dialog_; }
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }

  private:
    HWND dialog_ = nullptr;
};

// The text of a path in the ANSI code page, from UTF-8.
std::string Ansi(const std::string& utf8);
// An environment variable, empty when unset.
std::string Env(const char* name);
// A Unix path as Wine names it (Z:\...).
std::string WindowsPathOf(const std::string& unixPath);

// Captures the window as it stands on the screen and writes it as a PNG file. Waits until two
// captures in a row agree, so that the window has finished painting.
bool SaveScreenshot(HWND window, const std::string& path);

}  // namespace dravolin::win32::test

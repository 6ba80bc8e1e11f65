// The probe that reads and drives Dravolin.exe from outside, in the same Wine prefix: the host
// sends it one command a line on its standard input, plain or as a JSON string (as the guest's
// agent passes requests on), and gets one JSON object a line back.
//
//   dialog              the main dialog: handle, process, rectangle (handle 0 when not shown)
//   rows                every drive row: texts, tick, the screen points of its check box and
//                       label
//   tick ROW 0|1        ticks or unticks a row as a click on its check box does
//   target              the target folder's text and the screen point of its edit field
//   windows             the visible top-level windows with their buttons and texts (and the
//                       question of a prompt Wine's shell paints itself)
//   press HWND TEXT     clicks the button of that text in that window (BM_CLICK)
//   close HWND          what the caption's close box sends (WM_SYSCOMMAND SC_CLOSE)
//   autoplay            the AutoPlay cancel value: status, type and size of its data
//   type LETTER         the drive type of "X:\" and "\\.\X:\", the volume of both
//   ioctl LETTER CODE.. the device commands on "\\.\X:", each on its own handle as the program
//                       opens it; CODE is a number or dismount, allow
//   quit
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "platform/win32/Win32Api.h"

#include <winioctl.h>

#include "Json.h"
#include "RemoteListView.h"

namespace dravolin::wineprobe {

using win32::test::RowChecked;
using win32::test::RowRect;
using win32::test::RowText;
using win32::test::SetRowChecked;

namespace {

constexpr int kDrives = 1000;  // IDC_DRIVES
constexpr int kTarget = 1002;  // IDC_TARGET
constexpr const char* kAutoplayKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\CancelAutoplay\\"
    "CLSID";
constexpr const char* kAutoplayValue = "00000000-0000-0000-0000-000000000000";

std::string ClassOf(HWND window) {
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string TextOf(HWND window) {
    char text[1024] = {};
    ::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::string WithoutMnemonics(const std::string& text) {
    std::string out;
    for (const char c : text)
        if (c != '&') out += c;
    return out;
}

HWND Dialog() {
    HWND found = nullptr;
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            if (::IsWindowVisible(window) && ClassOf(window) == "#32770" &&
                ::GetDlgItem(window, kDrives) != nullptr) {
                *reinterpret_cast<HWND*>(param) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string Handle(HWND window) {
    return std::to_string(reinterpret_cast<UINT_PTR>(window));
}

HWND HandleOf(const std::string& text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text.c_str(), nullptr, 10)));
}

std::string DialogAnswer() {
    HWND dialog = Dialog();
    Json json;
    json.Field("ok", true).Raw("hwnd", dialog ? Handle(dialog) : "0");
    if (dialog) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(dialog, &processId);
        RECT rect{};
        ::GetWindowRect(dialog, &rect);
        json.Field("pid", static_cast<long long>(processId)).Rect("rect", rect);
    }
    return json.Text();
}

std::string RowsAnswer() {
    HWND dialog = Dialog();
    if (!dialog) return Json().Field("ok", false).Field("error", "no dialog").Text();
    HWND list = ::GetDlgItem(dialog, kDrives);
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::string rows = "[";
    for (int row = 0; row < count; ++row) {
        const RECT label = RowRect(list, row, LVIR_LABEL);
        const RECT icon = RowRect(list, row, LVIR_ICON);
        // The check box is the state image left of the icon, as wide as a small icon.
        const POINT check{icon.left - ::GetSystemMetrics(SM_CXSMICON) / 2 - 2,
                          (icon.top + icon.bottom) / 2};
        rows += (row ? "," : "") + Json()
                                       .Field("text", RowText(list, row, 0))
                                       .Field("status", RowText(list, row, 1))
                                       .Field("checked", RowChecked(list, row))
                                       .Point("check", check)
                                       .Point("label", Centre(label))
                                       .Text();
    }
    return Json().Field("ok", true).Raw("rows", rows + "]").Text();
}

std::string TargetAnswer() {
    HWND dialog = Dialog();
    if (!dialog) return Json().Field("ok", false).Field("error", "no dialog").Text();
    HWND combo = ::GetDlgItem(dialog, kTarget);
    HWND edit = reinterpret_cast<HWND>(::SendMessageA(combo, CBEM_GETEDITCONTROL, 0, 0));
    RECT rect{};
    ::GetWindowRect(edit, &rect);
    return Json().Field("ok", true).Field("text", TextOf(edit)).Point("field", Centre(rect)).Text();
}

// The question of Wine's own confirmation prompt, which it paints itself rather than showing
// in a control: the text stays in the prompt's process, named by a window property.
std::string WineQuestion(HWND window) {
    const void* text = ::GetPropW(window, L"WINE_CONFIRM");
    if (text == nullptr) return {};
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    HANDLE process = ::OpenProcess(PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr) return {};
    wchar_t wide[512] = {};
    SIZE_T read = 0;
    ::ReadProcessMemory(process, text, wide, sizeof(wide) - sizeof(wchar_t), &read);
    ::CloseHandle(process);
    char ansi[1024] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof(ansi) - 1, nullptr, nullptr);
    return ansi;
}

std::string WindowsAnswer() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            if (::IsWindowVisible(window))
                reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    std::string list = "[";
    for (HWND window : windows) {
        std::vector<HWND> children;
        ::EnumChildWindows(
            window,
            [](HWND child, LPARAM param) -> BOOL {
                if (::IsWindowVisible(child))
                    reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&children));
        std::string buttons = "[", texts = "[";
        for (HWND child : children) {
            const std::string kind = ClassOf(child);
            if (kind == "Button") {
                RECT rect{};
                ::GetWindowRect(child, &rect);
                buttons += (buttons.size() > 1 ? "," : "") +
                           Json()
                               .Field("text", WithoutMnemonics(TextOf(child)))
                               .Point("centre", Centre(rect))
                               .Text();
            } else if (kind == "Static" && !TextOf(child).empty()) {
                texts += (texts.size() > 1 ? "," : "") + Json::Quote(TextOf(child));
            }
        }
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        RECT rect{};
        ::GetWindowRect(window, &rect);
        list +=
            (list.size() > 1 ? "," : "") + Json()
                                               .Raw("hwnd", Handle(window))
                                               .Field("class", ClassOf(window))
                                               .Field("title", TextOf(window))
                                               .Raw("owner", Handle(::GetWindow(window, GW_OWNER)))
                                               .Field("pid", static_cast<long long>(processId))
                                               .Rect("rect", rect)
                                               .Raw("buttons", buttons + "]")
                                               .Raw("texts", texts + "]")
                                               .Field("question", WineQuestion(window))
                                               .Text();
    }
    return Json().Field("ok", true).Raw("windows", list + "]").Text();
}

std::string PressAnswer(HWND window, const std::string& text) {
    HWND found = nullptr;
    std::vector<HWND> children;
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    for (HWND child : children)
        if (ClassOf(child) == "Button" && WithoutMnemonics(TextOf(child)) == text) found = child;
    if (!found) return Json().Field("ok", false).Field("error", "no button " + text).Text();
    ::PostMessageA(found, BM_CLICK, 0, 0);
    return Json().Field("ok", true).Text();
}

std::string AutoplayAnswer() {
    HKEY key = nullptr;
    LONG status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAutoplayKey, 0, KEY_QUERY_VALUE, &key);
    DWORD type = 0, size = 0;
    const bool keyExists = status == ERROR_SUCCESS;
    if (keyExists) {
        status = ::RegQueryValueExA(key, kAutoplayValue, nullptr, &type, nullptr, &size);
        ::RegCloseKey(key);
    }
    return Json()
        .Field("ok", true)
        .Field("key", keyExists)
        .Field("status", static_cast<long long>(status))
        .Field("type", static_cast<long long>(type))
        .Field("size", static_cast<long long>(size))
        .Text();
}

}  // namespace

std::string TypeAnswer(char letter);
std::string IoctlAnswer(char letter, const std::vector<std::string>& codes);

std::string Answer(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    if (command == "dialog") return DialogAnswer();
    if (command == "rows") return RowsAnswer();
    if (command == "target") return TargetAnswer();
    if (command == "windows") return WindowsAnswer();
    if (command == "autoplay") return AutoplayAnswer();
    if (command == "tick" && words.size() == 3) {
        HWND dialog = Dialog();
        if (!dialog) return Json().Field("ok", false).Field("error", "no dialog").Text();
        SetRowChecked(::GetDlgItem(dialog, kDrives), std::atoi(words[1].c_str()), words[2] == "1");
        return Json().Field("ok", true).Text();
    }
    if (command == "press" && words.size() >= 3) {
        std::string text = words[2];
        for (std::size_t i = 3; i < words.size(); ++i) text += " " + words[i];
        return PressAnswer(HandleOf(words[1]), text);
    }
    if (command == "close" && words.size() == 2) {
        ::PostMessageA(HandleOf(words[1]), WM_SYSCOMMAND, SC_CLOSE, 0);
        return Json().Field("ok", true).Text();
    }
    if (command == "type" && words.size() == 2) return TypeAnswer(words[1][0]);
    if (command == "ioctl" && words.size() >= 3)
        return IoctlAnswer(words[1][0], std::vector<std::string>(words.begin() + 2, words.end()));
    return Json().Field("ok", false).Field("error", "unknown command " + command).Text();
}

}  // namespace dravolin::wineprobe

int main() {
    char line[4096];
    while (std::fgets(line, sizeof(line), stdin)) {
        std::vector<std::string> words;
        std::string word;
        const bool quoted = line[0] == '"';
        for (const char* p = line + (quoted ? 1 : 0); *p; ++p) {
            if (quoted && *p == '\\' && p[1] != '\0') {
                word += *++p;
            } else if (*p == ' ' || *p == '\n' || *p == '\r' || (quoted && *p == '"')) {
                if (!word.empty()) words.push_back(word);
                word.clear();
            } else {
                word += *p;
            }
        }
        if (!word.empty()) words.push_back(word);
        if (words.empty()) continue;
        if (words[0] == "quit") break;
        std::printf("%s\n", dravolin::wineprobe::Answer(words).c_str());
        std::fflush(stdout);
    }
    return 0;
}

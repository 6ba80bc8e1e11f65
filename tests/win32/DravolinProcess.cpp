#include "DravolinProcess.h"

#include "RemoteListView.h"
#include "Win32TestSupport.h"

namespace dravolin::win32::test {

DravolinProcess::DravolinProcess() {
    const std::string exe = Env("DRAVOLIN_EXE");
    if (exe.empty()) {
        failure_ = "DRAVOLIN_EXE is not set";
        return;
    }
    std::string commandLine(1, '"');
    commandLine.append(WindowsPathOf(exe)).push_back('"');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
        failure_ = "cannot start " + commandLine;
        return;
    }
    process_ = UniqueHandle(started.hProcess);
    UniqueHandle thread(started.hThread);
    processId_ = started.dwProcessId;
    if (!WaitUntil([&] { return (dialog_ = FindDialogOf(processId_)) != nullptr; })) {
        failure_ = "no dialog appeared";
    }
}

DravolinProcess::~DravolinProcess() {
    if (process_.Valid() && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
        if (!Close()) ::TerminateProcess(process_.Get(), 1);
    }
}

std::optional<DWORD> DravolinProcess::Close() {
    if (!process_.Valid()) return std::nullopt;
    if (dialog_ != nullptr) {
        ::PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    if (::WaitForSingleObject(process_.Get(), 30000) != WAIT_OBJECT_0) return std::nullopt;
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process_.Get(), &exitCode);
    return exitCode;
}

int ComboCount(HWND combo) {
    return static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0));
}

// CBEM_GETITEMA carries a pointer that the window manager passes on as it is, like the
// list-view messages: the item and its text live in the other process.
std::string ComboItemText(HWND combo, int index) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(combo, &processId);
    RemoteBuffer remote(processId, sizeof(COMBOBOXEXITEMA) + MAX_PATH + 1);
    if (!remote.Valid()) return "<no access>";
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.cchTextMax = MAX_PATH;
    item.pszText = remote.Address() + sizeof(COMBOBOXEXITEMA);
    remote.Write(0, &item, sizeof(item));
    if (!::SendMessageA(combo, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.Address()))) {
        return "<no entry>";
    }
    char text[MAX_PATH + 1] = {};
    remote.Read(sizeof(COMBOBOXEXITEMA), text, MAX_PATH);
    return text;
}

}  // namespace dravolin::win32::test

#include "DravolinProcess.h"

#include "Win32TestSupport.h"

namespace dravolin::win32::test {

namespace {

// Memory in another process for the list-view messages, which carry pointers.
class RemoteBuffer {
  public:
    RemoteBuffer(HWND window, std::size_t size) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(window, &processId);
        process_ = UniqueHandle(::OpenProcess(
            PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
        if (process_.Valid()) {
            memory_ = ::VirtualAllocEx(process_.Get(), nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                       PAGE_READWRITE);
        }
    }
    ~RemoteBuffer() {
        if (memory_ != nullptr) ::VirtualFreeEx(process_.Get(), memory_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* Address() const { return static_cast<char*>(memory_); }
    bool Write(std::size_t offset, const void* data, std::size_t size) {
        return ::WriteProcessMemory(process_.Get(), Address() + offset, data, size, nullptr);
    }
    bool Read(std::size_t offset, void* data, std::size_t size) const {
        return ::ReadProcessMemory(process_.Get(), Address() + offset, data, size, nullptr);
    }
    bool Valid() const { return memory_ != nullptr; }

  private:
    UniqueHandle process_;
    void* memory_ = nullptr;
};

}  // namespace

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

std::string RowText(HWND list, int row, int column) {
    RemoteBuffer remote(list, 4096);
    if (!remote.Valid()) return "<no access>";
    LVITEMA item{};
    item.iSubItem = column;
    item.cchTextMax = MAX_PATH;
    item.pszText = remote.Address() + sizeof(LVITEMA);
    remote.Write(0, &item, sizeof(item));
    ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote.Address()));
    char text[MAX_PATH + 1] = {};
    remote.Read(sizeof(LVITEMA), text, MAX_PATH);
    return text;
}

void TickRow(HWND list, int row) {
    RemoteBuffer remote(list, sizeof(LVITEMA));
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(2);
    remote.Write(0, &item, sizeof(item));
    ::SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.Address()));
}

int ComboCount(HWND combo) {
    return static_cast<int>(::SendMessageA(combo, CB_GETCOUNT, 0, 0));
}

// CBEM_GETITEMA carries a pointer that the window manager passes on as it is, like the
// list-view messages: the item and its text live in the other process.
std::string ComboItemText(HWND combo, int index) {
    RemoteBuffer remote(combo, 4096);
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

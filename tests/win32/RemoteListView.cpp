#include "RemoteListView.h"

namespace dravolin::win32::test {

namespace {

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    return processId;
}

}  // namespace

RemoteBuffer::RemoteBuffer(DWORD processId, std::size_t size)
    : process_(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                             processId)) {
    if (process_.Valid()) {
        memory_ = ::VirtualAllocEx(process_.Get(), nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                   PAGE_READWRITE);
    }
}

RemoteBuffer::~RemoteBuffer() {
    if (memory_ != nullptr) ::VirtualFreeEx(process_.Get(), memory_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Write(std::size_t offset, const void* data, std::size_t size) {
    return ::WriteProcessMemory(process_.Get(), Address() + offset, data, size, nullptr) != FALSE;
}

bool RemoteBuffer::Read(std::size_t offset, void* data, std::size_t size) const {
    return ::ReadProcessMemory(process_.Get(), Address() + offset, data, size, nullptr) != FALSE;
}

std::string RowText(HWND list, int row, int column) {
    RemoteBuffer remote(ProcessOf(list), sizeof(LVITEMA) + MAX_PATH + 1);
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

bool RowChecked(HWND list, int row) {
    const LRESULT state = ::SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void SetRowChecked(HWND list, int row, bool checked) {
    RemoteBuffer remote(ProcessOf(list), sizeof(LVITEMA));
    if (!remote.Valid()) return;
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    remote.Write(0, &item, sizeof(item));
    ::SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.Address()));
}

RECT RowRect(HWND list, int row, int part) {
    RECT rect{};
    RemoteBuffer remote(ProcessOf(list), sizeof(RECT));
    if (!remote.Valid()) return rect;
    rect.left = part;
    remote.Write(0, &rect, sizeof(rect));
    ::SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote.Address()));
    remote.Read(0, &rect, sizeof(rect));
    ::MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace dravolin::win32::test

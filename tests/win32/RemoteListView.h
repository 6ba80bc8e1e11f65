#pragma once
// The rows of a list-view control that lives in another process (Dravolin.exe's drive list, read
// by the Windows tests and by the real-drive tests' probe): the list-view (and extended combo box)
// messages carry pointers, so their structures go through memory allocated in that process.
#include <string>
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32::test {

// Memory in another process, freed with the object.
class RemoteBuffer {
  public:
    RemoteBuffer(DWORD processId, std::size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return memory_ != nullptr; }
    char* Address() const { return static_cast<char*>(memory_); }
    bool Write(std::size_t offset, const void* data, std::size_t size);
    bool Read(std::size_t offset, void* data, std::size_t size) const;

  private:
    UniqueHandle process_;
    void* memory_ = nullptr;
};

// The text of a row's cell; "<no access>" when the list's process cannot be reached.
std::string RowText(HWND list, int row, int column);
// Whether the row's check box is ticked (state image 2).
bool RowChecked(HWND list, int row);
// Ticks or unticks a row's check box as the list does on a click (LVM_SETITEMSTATE).
void SetRowChecked(HWND list, int row, bool checked);
// A row's rectangle (LVIR_BOUNDS, LVIR_LABEL or LVIR_ICON) in screen coordinates.
RECT RowRect(HWND list, int row, int part);

}  // namespace dravolin::win32::test

#pragma once
// Dravolin.exe started as its own process in the test prefix, and its dialog read and driven
// from the test's process across the process boundary.
#include <optional>
#include <string>
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32::test {

class DravolinProcess {
  public:
    // Starts the program named by DRAVOLIN_EXE and waits for its dialog; Dialog() is null when
    // either failed (Failure() tells why).
    DravolinProcess();
    // A program still running is closed as Close does.
    ~DravolinProcess();
    DravolinProcess(const DravolinProcess&) = delete;
    DravolinProcess& operator=(const DravolinProcess&) = delete;

    HWND Dialog() const { return dialog_; }
    const std::string& Failure() const { return failure_; }
    // Closes the dialog as the Exit button does and waits for the process to end: its exit
    // code, or nothing when it did not end within 30 s.
    std::optional<DWORD> Close();

  private:
    UniqueHandle process_;
    DWORD processId_ = 0;
    HWND dialog_ = nullptr;
    std::string failure_;
};

// The entries of another process's extended combo box.
int ComboCount(HWND combo);
std::string ComboItemText(HWND combo, int index);

}  // namespace dravolin::win32::test

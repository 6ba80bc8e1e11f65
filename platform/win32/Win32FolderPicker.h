#pragma once
#include "platform/ShellServices.h"

namespace dravolin::win32 {

// The shell's folder browser. UI thread only; it runs a nested modal loop.
class Win32FolderPicker : public FolderPicker {
  public:
    std::optional<std::string> Browse(const Request& request) override;
};

}  // namespace dravolin::win32

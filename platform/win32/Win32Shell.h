#pragma once
// The shell's file information, copy, folder preparation, auto-completion and open operations.
#include "platform/PathPreparer.h"
#include "platform/ShellCopy.h"
#include "platform/ShellInfo.h"
#include "platform/ShellServices.h"

namespace dravolin::win32 {

// UI thread only.
class Win32ShellInfo : public ShellInfo {
  public:
    FileInfo GetFileInfo(const std::string& path, std::uint32_t attributes,
                         std::uint32_t flags) override;
};

// Runs on worker threads; each call is independent.
class Win32ShellCopy : public ShellCopy {
  public:
    int FileOperation(const Operation& op) override;
};

// UI thread only; the shell may prompt in a nested message loop.
class Win32PathPreparer : public PathPreparer {
  public:
    std::int32_t PrepareForWrite(WindowHandle owner, const std::string& path,
                                 std::uint32_t flags) override;
};

// UI thread only.
class Win32AutoComplete : public AutoComplete {
  public:
    void Enable(WindowHandle edit, std::uint32_t flags) override;
};

// UI thread only.
class Win32ShellOpen : public ShellOpen {
  public:
    void Open(WindowHandle owner, const std::string& file, int showCommand) override;
};

}  // namespace dravolin::win32

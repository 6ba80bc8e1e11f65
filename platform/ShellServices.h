#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include "platform/Types.h"

namespace dravolin {

// Edit-field auto-completion (SHAutoComplete).
class AutoComplete {
  public:
    virtual ~AutoComplete() = default;
    virtual void Enable(WindowHandle edit, std::uint32_t flags) = 0;
};

// The shell's folder browser: task allocator, root item-ID list, the browser itself and the
// conversion of the choice to a path, every item-ID list and the allocator released inside.
class FolderPicker {
  public:
    virtual ~FolderPicker() = default;
    struct Request {
        WindowHandle owner = 0;
        int rootCsidl = win::kCsidlDrives;
        std::string title;
        std::uint32_t flags = win::kBrowseFlags;
    };
    // The chosen file-system path; nullopt without an allocator, when cancelled, or when the
    // choice has no file-system path.
    virtual std::optional<std::string> Browse(const Request& request) = 0;
};

// Opening a name with the desktop's default handler (ShellExecuteA, default verb).
class ShellOpen {
  public:
    virtual ~ShellOpen() = default;
    virtual void Open(WindowHandle owner, const std::string& file, int showCommand) = 0;
};

// The shell's own context menu of a file-system path, shown at a point in the owner's client
// coordinates; true when a command was chosen and ran successfully.
class ShellContextMenu {
  public:
    virtual ~ShellContextMenu() = default;
    virtual bool Show(WindowHandle owner, const std::string& path, Point client) = 0;
};

}  // namespace dravolin

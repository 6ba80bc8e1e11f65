#pragma once
#include <string>
#include "platform/ShellServices.h"
#include "platform/WaitCursor.h"

namespace dravolin::qt {

// File-system completion for the target's edit field: a suggestion list of the folders and
// files that start with what was typed, and the common rest filled in inline.
// UI thread only.
class QtAutoComplete : public AutoComplete {
  public:
    void Enable(WindowHandle edit, std::uint32_t flags) override;
};

// The desktop's folder chooser, starting at the list of drives: the media mount root of the
// user when there is one, else the file system's root. UI thread only.
class QtFolderPicker : public FolderPicker {
  public:
    std::optional<std::string> Browse(const Request& request) override;
    // Where the chooser starts.
    static std::string StartFolder();
};

// The desktop's default handler for the combo box's text as a local file. The core ends a
// target in its own separator, a backslash; that one final byte is not part of the name on
// Linux and is dropped, anything else is passed on as typed. UI thread only.
class QtShellOpen : public ShellOpen {
  public:
    void Open(WindowHandle owner, const std::string& file, int showCommand) override;
    // The local file the text names.
    static std::string LocalName(const std::string& text);
};

// The application's wait cursor, from the UI thread or a worker.
class QtWaitCursor : public WaitCursor {
  public:
    void Begin() override;
    void End() override;
};

}  // namespace dravolin::qt

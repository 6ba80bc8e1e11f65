#pragma once
#include <QUrl>
#include <functional>
#include <string>
#include <vector>
#include "platform/ShellServices.h"
#include "platform/WaitCursor.h"

class QWidget;

namespace dravolin::qt {

// File-system completion for the target's edit field: a suggestion list of the folders and
// files that start with what was typed, and the common rest filled in inline.
// UI thread only.
class QtAutoComplete : public AutoComplete {
  public:
    void Enable(WindowHandle edit, std::uint32_t flags) override;
};

// The desktop's folder chooser, starting at the list of drives: the media mount root of the
// user when there is one, else the file system's root. Its side bar lists the drives' discs.
// UI thread only.
class QtFolderPicker : public FolderPicker {
  public:
    // Shows the chooser; the chosen folder as a local file URL, empty when cancelled. Qt's file
    // dialog unless another is given (the tests stand in where a real one cannot be driven).
    using Chooser = std::function<QUrl(QWidget* owner, const QString& title, const QUrl& start)>;
    // The folders where the drives' discs are mounted now, for the side bar of Qt's dialog.
    using Places = std::function<std::vector<std::string>()>;
    explicit QtFolderPicker(Chooser chooser = {}, Places places = {});

    std::optional<std::string> Browse(const Request& request) override;
    // Where the chooser starts.
    static std::string StartFolder();

  private:
    Chooser chooser_;
};

// The desktop's default handler for the combo box's text as a local file, read as the Linux
// services read a target: backslashes are "/", "~" and relative names lie in the home folder.
// The name's bytes reach the desktop unchanged, percent-escaped in a file URL. UI thread only.
class QtShellOpen : public ShellOpen {
  public:
    void Open(WindowHandle owner, const std::string& file, int showCommand) override;
};

// The application's wait cursor while the UI thread waits for a command. A worker's command
// keeps the dialog answering, so a call from a worker shows nothing: a busy cursor over the
// whole dialog would only say, wrongly, that it does not answer.
class QtWaitCursor : public WaitCursor {
  public:
    void Begin() override;
    void End() override;
};

}  // namespace dravolin::qt

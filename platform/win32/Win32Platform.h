#pragma once
// Every Win32 service, wired into the Platform the core takes. Constructed once on the UI
// thread, before the application object, and destroyed after it.
#include <memory>
#include "platform/Platform.h"
#include "platform/win32/Win32ContextMenu.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32Devices.h"
#include "platform/win32/Win32Dialog.h"
#include "platform/win32/Win32FolderPicker.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Runtime.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/archive/BagWriting.h"
#include "platform/win32/archive/Win32ArchiveWindows.h"

namespace dravolin::win32 {

// Archive mode as the program was started. Off, the platform has no archiver and the dialog
// never turns the mode on.
struct Win32ArchiveMode {
    bool on = false;
    BagWriterFactory writers = nullptr;  // the bag writer; null: no disc gets a bag
};

class Win32Platform {
  public:
    // `instance` holds the dialog template, the strings and the icons.
    explicit Win32Platform(HINSTANCE instance, Win32ArchiveMode archive = {});
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    Platform& Get() { return platform_; }

  private:
    Win32Desktop desktop_;
    Win32DialogHost host_;
    Win32Resources resources_;
    Win32Volumes volumes_;
    Win32ShellInfo shellInfo_;
    Win32Registry registry_;
    Win32PathPreparer preparer_;
    Win32CodePage codePage_;
    Win32AutoComplete autoComplete_;
    Win32FolderPicker folderPicker_;
    Win32ShellOpen shellOpen_;
    Win32ShellContextMenu contextMenu_;
    Win32Threads threads_;
    // Archive mode's windows; null with the mode off. Gone after the dialog and the platform.
    std::unique_ptr<Win32ArchiveWindows> archiveWindows_;
    Platform platform_;
};

}  // namespace dravolin::win32

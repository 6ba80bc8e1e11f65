#include "platform/win32/Win32Platform.h"

#include "platform/win32/archive/Win32Archiver.h"

namespace dravolin::win32 {

Win32Platform::Win32Platform(HINSTANCE instance, Win32ArchiveMode archive)
    : host_(instance),
      resources_(instance),
      platform_{desktop_,
                host_,
                resources_,
                volumes_,
                shellInfo_,
                registry_,
                preparer_,
                codePage_,
                autoComplete_,
                folderPicker_,
                shellOpen_,
                contextMenu_,
                threads_,
                WorkerServices{
                    std::make_shared<Win32DeviceControl>(), std::make_shared<Win32ShellCopy>(),
                    std::make_shared<Win32WaitCursor>(), std::make_shared<Win32ComRuntime>()}} {
    if (!archive.on) return;
    archiveWindows_ = std::make_unique<Win32ArchiveWindows>(instance);
    platform_.workers.archiver = std::make_shared<Win32Archiver>(
        Win32Archiver::Parts{std::move(archive.writers), archiveWindows_->Desk()});
}

}  // namespace dravolin::win32

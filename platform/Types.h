#pragma once
// Plain values shared by the core and every platform: window handles, points, and the
// constants of the Windows vocabulary that the program's calls and its stored data are fixed
// to, under names that cannot collide with the macros of <windows.h> (the Win32 build
// static_asserts that each equals its macro).
#include <cstdint>

namespace dravolin {

// A window as the platform knows it (HWND on Windows, a widget's id elsewhere); 0 is none.
using WindowHandle = std::uintptr_t;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

namespace win {
// Path buffers (MAX_PATH).
inline constexpr std::uint32_t kMaxPath = 260;

// Drive types (GetDriveTypeA).
inline constexpr std::uint32_t kDriveCdrom = 5;

// Device open (CreateFileA) and control codes (DeviceIoControl).
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kIoctlDiskCheckVerify = 0x00074800;
inline constexpr std::uint32_t kIoctlDiskEjectMedia = 0x00074808;
inline constexpr std::uint32_t kIoctlDiskLoadMedia = 0x0007480C;

// Shell file information (SHGetFileInfoA).
inline constexpr std::uint32_t kShgfiIcon = 0x100;
inline constexpr std::uint32_t kShgfiDisplayName = 0x200;
inline constexpr std::uint32_t kShgfiAddOverlays = 0x20;
inline constexpr std::uint32_t kShgfiSmallIcon = 0x1;
inline constexpr std::uint32_t kDriveInfoFlags = 0x321;   // icon, small, overlays, display name
inline constexpr std::uint32_t kFolderIconFlags = 0x121;  // icon, small, overlays

// Shell copy (SHFileOperationA).
inline constexpr std::uint32_t kFoCopy = 2;

// Folder preparation (SHPathPrepareForWriteA).
inline constexpr std::uint32_t kShppfwDirCreate = 1;
inline constexpr std::int32_t kSOk = 0;

// Registry.
enum class RootKey : std::uint32_t { CurrentUser = 0x80000001u, LocalMachine = 0x80000002u };
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorMoreData = 234;

// List view.
inline constexpr std::uint32_t kLvsExCheckboxes = 0x4;
inline constexpr std::uint32_t kLvsExFullRowSelect = 0x20;
inline constexpr std::uint32_t kLvsExLabelTip = 0x4000;
inline constexpr std::uint32_t kLvisStateImageMask = 0xF000;
inline constexpr std::uint32_t IndexToStateImageMask(std::uint32_t i) {
    return i << 12;
}
inline constexpr int kLvsilSmall = 1;

// Image lists.
inline constexpr std::uint32_t kIlcColor32 = 0x20;
inline constexpr std::uint32_t kIlcMask = 0x1;

// Auto-completion (SHAutoComplete): file system, suggestions and inline completion forced on.
inline constexpr std::uint32_t kAutoCompleteFlags = 0x50000001u;

// Folder browser (SHBrowseForFolderA).
inline constexpr int kCsidlDrives = 17;
inline constexpr std::uint32_t kBrowseFlags = 0x149;

// Show commands and system metrics.
inline constexpr int kSwShowNormal = 1;
inline constexpr int kSmCxVScroll = 2;
inline constexpr int kSmCxIcon = 11;
inline constexpr int kSmCyIcon = 12;

// Window messages the dialog routes.
inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmPaint = 0x000F;
inline constexpr std::uint32_t kWmDevModeChange = 0x001B;
inline constexpr std::uint32_t kWmQueryDragIcon = 0x0037;
inline constexpr std::uint32_t kWmNotify = 0x004E;
inline constexpr std::uint32_t kWmCommand = 0x0111;
inline constexpr std::uint32_t kWmTimer = 0x0113;
inline constexpr std::int32_t kNmDblClk = -3;
inline constexpr std::int32_t kNmRClick = -5;
inline constexpr std::uint32_t kIdOk = 1;
inline constexpr std::uint32_t kIdCancel = 2;
}  // namespace win

}  // namespace dravolin

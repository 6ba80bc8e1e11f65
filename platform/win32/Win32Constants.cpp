// The core names the Windows constants it relies on without including a Windows header; each one
// must equal the macro it stands for, and the notification header must have NMHDR's layout.
#include <cstddef>
#include "app/CopyDlg.h"
#include "platform/Types.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

namespace w = dravolin::win;

static_assert(w::kMaxPath == MAX_PATH);
static_assert(w::kDriveCdrom == DRIVE_CDROM);

static_assert(w::kGenericRead == GENERIC_READ);
static_assert(w::kFileShareRead == FILE_SHARE_READ);
static_assert(w::kFileShareWrite == FILE_SHARE_WRITE);
static_assert(w::kOpenExisting == OPEN_EXISTING);
static_assert(w::kIoctlDiskCheckVerify == IOCTL_DISK_CHECK_VERIFY);
static_assert(w::kIoctlDiskEjectMedia == IOCTL_DISK_EJECT_MEDIA);
static_assert(w::kIoctlDiskLoadMedia == IOCTL_DISK_LOAD_MEDIA);

static_assert(w::kShgfiIcon == SHGFI_ICON);
static_assert(w::kShgfiDisplayName == SHGFI_DISPLAYNAME);
static_assert(w::kShgfiAddOverlays == SHGFI_ADDOVERLAYS);
static_assert(w::kShgfiSmallIcon == SHGFI_SMALLICON);
static_assert(w::kDriveInfoFlags ==
              (SHGFI_ICON | SHGFI_SMALLICON | SHGFI_ADDOVERLAYS | SHGFI_DISPLAYNAME));
static_assert(w::kFolderIconFlags == (SHGFI_ICON | SHGFI_ADDOVERLAYS | SHGFI_SMALLICON));

static_assert(w::kFoCopy == FO_COPY);
static_assert(w::kShppfwDirCreate == SHPPFW_DIRCREATE);
static_assert(w::kSOk == S_OK);

static_assert(w::kRegSz == REG_SZ);
static_assert(w::kErrorSuccess == ERROR_SUCCESS);
static_assert(w::kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(w::kErrorMoreData == ERROR_MORE_DATA);
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are pointers; Win32Registry maps the two roots.
static_assert(static_cast<std::uint32_t>(w::RootKey::CurrentUser) == 0x80000001u);
static_assert(static_cast<std::uint32_t>(w::RootKey::LocalMachine) == 0x80000002u);

static_assert(w::kLvsExCheckboxes == LVS_EX_CHECKBOXES);
static_assert(w::kLvsExFullRowSelect == LVS_EX_FULLROWSELECT);
static_assert(w::kLvsExLabelTip == LVS_EX_LABELTIP);
static_assert(w::kLvisStateImageMask == LVIS_STATEIMAGEMASK);
static_assert(w::IndexToStateImageMask(1) == INDEXTOSTATEIMAGEMASK(1));
static_assert(w::IndexToStateImageMask(2) == INDEXTOSTATEIMAGEMASK(2));
static_assert(w::kLvsilSmall == LVSIL_SMALL);

static_assert(w::kIlcColor32 == ILC_COLOR32);
static_assert(w::kIlcMask == ILC_MASK);

static_assert(w::kAutoCompleteFlags ==
              (SHACF_FILESYSTEM | SHACF_AUTOSUGGEST_FORCE_ON | SHACF_AUTOAPPEND_FORCE_ON));

static_assert(w::kCsidlDrives == CSIDL_DRIVES);
static_assert(w::kBrowseFlags ==
              (BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE | BIF_UAHINT));

static_assert(w::kSwShowNormal == SW_SHOWNORMAL);
static_assert(w::kSmCxVScroll == SM_CXVSCROLL);
static_assert(w::kSmCxIcon == SM_CXICON);
static_assert(w::kSmCyIcon == SM_CYICON);

static_assert(w::kWmDestroy == WM_DESTROY);
static_assert(w::kWmPaint == WM_PAINT);
static_assert(w::kWmDevModeChange == WM_DEVMODECHANGE);
static_assert(w::kWmQueryDragIcon == WM_QUERYDRAGICON);
static_assert(w::kWmNotify == WM_NOTIFY);
static_assert(w::kWmCommand == WM_COMMAND);
static_assert(w::kWmTimer == WM_TIMER);
static_assert(static_cast<UINT>(w::kNmDblClk) == NM_DBLCLK);
static_assert(static_cast<UINT>(w::kNmRClick) == NM_RCLICK);
static_assert(w::kIdOk == IDOK);
static_assert(w::kIdCancel == IDCANCEL);

// The dialog reads WM_NOTIFY's lParam as a NotifyHeader.
static_assert(sizeof(NotifyHeader) == sizeof(NMHDR));
static_assert(offsetof(NotifyHeader, hwndFrom) == offsetof(NMHDR, hwndFrom));
static_assert(offsetof(NotifyHeader, idFrom) == offsetof(NMHDR, idFrom));
static_assert(offsetof(NotifyHeader, code) == offsetof(NMHDR, code));
static_assert(sizeof(WindowHandle) == sizeof(HWND));

}  // namespace dravolin::win32

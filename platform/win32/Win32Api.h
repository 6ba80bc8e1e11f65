#pragma once
// The Windows headers as the Win32 platform uses them. The program is ANSI throughout: every
// call names its A or W form explicitly, and the generic A/W macros whose names the platform
// interfaces also use are removed so that they cannot rename those members.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#undef LoadString
#undef LoadIcon
#undef GetDriveType
#undef GetVolumeInformation
#undef RegisterWindowMessage
#undef GetWindowText
#undef SetWindowText

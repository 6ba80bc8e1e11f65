#pragma once
// The resources' strings as UTF-16, for texts that must not pass through the ANSI code page
// (user input, file names, Russian on a machine whose code page is not 1251).
#include <initializer_list>
#include <string>
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

// The string `id` of `instance` in the thread's language; empty when there is none.
std::wstring LoadWideString(HINSTANCE instance, UINT id);

// `text` with "%1", "%2"... replaced by the values in one pass, so a value holding "%2" stays.
std::wstring FillIn(const std::wstring& text, std::initializer_list<std::wstring> values);

}  // namespace dravolin::win32

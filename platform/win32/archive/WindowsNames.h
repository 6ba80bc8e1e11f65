#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::win32 {

// What a disc's names become in a bag's data/files/ folder on Windows. A disc (Joliet, UDF, Rock
// Ridge read by another system) can hold names Windows refuses or reads as something else;
// every entry is kept, under a name that Windows accepts and that means the entry itself.

// The longest name a Windows folder entry may have, in UTF-16 units.
inline constexpr std::size_t kMaxNameLength = 255;

// One name as stored, alone:
// - control characters, "< > : \" / \\ | ? *" and UTF-16 halves without their other half
//   become "_";
// - trailing dots and blanks (which Windows drops, so "a." would be "a") become "_";
// - a device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9, also with the
//   superscript digits, in any case, with any extension or blanks after) gets "_" after the
//   device name: "CON_.txt", "lpt1_";
// - a name of the copy's temporary form (".dravolin-…") gets "_" in front;
// - a name longer than kMaxNameLength is cut, its extension kept.
// Any other name is kept as it is. Never empty, never "." or "..".
std::wstring StoredName(std::wstring_view discName);

// The names stored for the entries of one folder, in the order given. Windows does not tell
// names apart by letter case, so of names equal but for case (or made equal by StoredName)
// the first keeps it and the others get " (2)", " (3)"… before the extension. Names that are
// fine as they are go first, so that no changed name takes the name of an unchanged one.
std::vector<std::wstring> StoredNames(const std::vector<std::wstring>& discNames);

// The form of a full path that every file call accepts whatever its length ("\\?\C:\…",
// "\\?\UNC\server\share\…"); forward slashes become backslashes. The path must be full
// (GetFullPathNameW), without "." or ".." parts. Not an overload of WideText's LongPath, which
// leaves a short path as it is: in a unity batch that includes both headers the string overload
// would win, and a disc's "CON" or "x." would be read through the device and trailing-dot rules.
std::wstring ExtendedLengthPath(std::wstring_view fullPath);

// `folder` and `name` with one backslash between.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

}  // namespace dravolin::win32

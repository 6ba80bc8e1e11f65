#pragma once
// The text conversions of archive mode. The program's own strings and the target folder are in
// the ANSI code page, as the dialog's controls give them; bag names, labels read for archiving,
// the log and the command line are UTF-8; the file system and the windows take UTF-16.
#include <string>
#include <string_view>

namespace dravolin::win32 {

// ANSI as the system's "A" file calls take it (CP_ACP), so that a folder names the same place
// here as in the shell's copy.
std::wstring WideFromAnsi(std::string_view text);
// Empty when `text` is not valid UTF-8 (and not empty).
std::wstring WideFromUtf8(std::string_view text, bool* valid = nullptr);
std::string Utf8FromWide(std::wstring_view text);

// A text put together from the program's ANSI strings and UTF-8 names (a notification: a
// translated sentence with a bag's name in it). Every run of bytes that is valid UTF-8 beyond
// ASCII is read as UTF-8, every other byte as ANSI: a Russian sentence in code page 1251 does
// not form UTF-8 sequences, while the name does.
std::wstring WideFromMixed(std::string_view text);

// "folder\name", with one backslash between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// The form the file calls take for a path of any length: "\\?\" before a long absolute path.
std::wstring LongPath(const std::wstring& path);

}  // namespace dravolin::win32

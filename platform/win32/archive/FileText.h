#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace dravolin::win32 {

// Whole files of a target folder, read and replaced with Win32 file calls. Paths are wide, of
// any length.

// The bytes of the plain file at `path`, never through a link; nullopt where it is no plain
// file, cannot be read, or is longer than any file the program reads whole.
std::optional<std::string> ReadFileText(const std::wstring& path);

// Replaces `name` in `folder` with `bytes` such that a reader, a crash or a full disk finds the
// old file or the new one, never a part: the bytes go to a temporary file in the folder (its
// name begins with a dot), flushed to the disk, which is then renamed over `name`. False, with
// the temporary file removed, where that could not be done.
bool ReplaceFileText(const std::wstring& folder, const std::wstring& name, std::string_view bytes);

}  // namespace dravolin::win32

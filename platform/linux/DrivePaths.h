#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace dravolin::lnx {

// The core names drives in the Windows forms "\\.\E:\" (device root), "\\.\E:" (device path),
// "E:\" (shell root) and "E:\*.*" (copy source). These read the letter back, upper case.
std::optional<char> LetterOfDeviceRoot(std::string_view path);
std::optional<char> LetterOfDevicePath(std::string_view path);
std::optional<char> LetterOfShellRoot(std::string_view path);
std::optional<char> LetterOfCopySource(std::string_view path);

// The first path of a shell path list (paths separated by NUL, the list ended by an empty one).
std::string_view FirstOfPathList(std::string_view list);

// The folder a normalised target names. The core ends every target in one backslash, its own
// separator; on Linux a backslash is an ordinary file-name byte, so "/home/u/discs" arrives as
// "/home/u/discs\" and that final backslash must go, or the copy would create a folder whose
// name ends in a backslash. Only that one byte is removed: any other backslash is the user's.
std::string FolderOfTarget(std::string_view target);

}  // namespace dravolin::lnx

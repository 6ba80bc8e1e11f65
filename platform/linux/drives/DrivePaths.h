#pragma once
#include <optional>
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

}  // namespace dravolin::lnx

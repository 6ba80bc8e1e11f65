#include "platform/linux/drives/DrivePaths.h"

namespace dravolin::lnx {

namespace {

std::optional<char> Letter(char c) {
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return std::nullopt;
}

// Matches `path` against `prefix` + letter + `suffix`.
std::optional<char> Match(std::string_view path, std::string_view prefix, std::string_view suffix) {
    if (path.size() != prefix.size() + 1 + suffix.size()) return std::nullopt;
    if (path.substr(0, prefix.size()) != prefix) return std::nullopt;
    if (path.substr(prefix.size() + 1) != suffix) return std::nullopt;
    return Letter(path[prefix.size()]);
}

}  // namespace

std::optional<char> LetterOfDeviceRoot(std::string_view path) {
    return Match(path, "\\\\.\\", ":\\");
}

std::optional<char> LetterOfDevicePath(std::string_view path) {
    return Match(path, "\\\\.\\", ":");
}

std::optional<char> LetterOfShellRoot(std::string_view path) {
    return Match(path, "", ":\\");
}

std::optional<char> LetterOfCopySource(std::string_view path) {
    return Match(path, "", ":\\*.*");
}

std::string_view FirstOfPathList(std::string_view list) {
    const std::size_t end = list.find('\0');
    return end == std::string_view::npos ? list : list.substr(0, end);
}

}  // namespace dravolin::lnx

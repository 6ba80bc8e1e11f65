#pragma once
// Path forms the fake machine understands, shared by its drive and file-system halves.
#include <string>
#include "platform/fake/Ascii.h"

namespace dravolin::fake {

// A path as the fake file system writes it: backslashes only, no repeated or trailing ones.
inline std::string CanonicalPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

// The file system's key of a path: letter case does not matter, as on Windows.
inline std::string PathKey(const std::string& path) {
    return UpperAscii(CanonicalPath(path));
}

// The drive letter of a "X:..." path, upper-cased; 0 for anything else.
inline char PathLetter(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return 0;
    const char letter = UpperAscii(path[0]);
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

// The letter of a device root "\\.\X:\" or a shell root "X:\"; 0 for anything else.
inline char RootLetter(const std::string& root) {
    const std::string rest = root.starts_with("\\\\.\\") ? root.substr(4) : root;
    return rest.size() == 3 && rest[2] == '\\' ? PathLetter(rest) : 0;
}

// The letter of exactly a device path "\\.\X:"; 0 for anything else.
inline char DeviceLetter(const std::string& path) {
    return path.size() == 6 && path.starts_with("\\\\.\\") ? PathLetter(path.substr(4)) : 0;
}

// The first entry of a NUL-separated list of paths.
inline std::string FirstListEntry(const std::string& list) {
    return list.substr(0, list.find('\0'));
}

}  // namespace dravolin::fake

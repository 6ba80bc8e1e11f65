#include "platform/linux/TargetPaths.h"

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>
#include <vector>

namespace dravolin::lnx {

namespace {

// The core's whitespace: what it trims around a target.
bool IsBlank(char c) {
    return (c >= '\t' && c <= '\r') || c == ' ';
}

// `home` and `rest` joined by one "/".
std::string UnderHome(std::string_view home, std::string_view rest) {
    while (!home.empty() && home.back() == '/') home.remove_suffix(1);
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    std::string path(home);
    path += '/';
    path += rest;
    return path;
}

}  // namespace

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

std::string LinuxPathOf(std::string_view text, std::string_view home) {
    std::string path;
    path.reserve(text.size());
    for (char c : text) {
        if (c == '\\') c = '/';
        // "a//b" is "a/b": a separator typed after the one the program completed adds none.
        if (c == '/' && !path.empty() && path.back() == '/') continue;
        path += c;
    }
    std::size_t begin = 0;
    while (begin < path.size() && IsBlank(path[begin])) ++begin;
    std::size_t end = path.size();
    while (end > begin && IsBlank(path[end - 1])) --end;
    const std::string_view core = std::string_view(path).substr(begin, end - begin);
    if (core.empty() || core.front() == '/' || home.empty()) return path;
    const bool tilde = core == "~" || core.starts_with("~/");
    const std::string resolved = UnderHome(home, tilde ? core.substr(1) : core);
    return path.substr(0, begin) + resolved + path.substr(end);
}

std::string LocalPathOf(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    // The home folder is only looked up for a path that needs it: the copy's worker threads
    // read their (absolute) targets here too.
    const bool absolute = !text.empty() && (text.front() == '/' || text.front() == '\\');
    std::string path = LinuxPathOf(text, absolute ? std::string() : HomeFolder());
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string FolderOfTarget(std::string_view target) {
    std::string folder = LocalPathOf(target);
    return folder.starts_with('/') ? folder : std::string();
}

}  // namespace dravolin::lnx

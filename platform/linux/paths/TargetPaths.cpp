#include "platform/linux/paths/TargetPaths.h"

#include <pwd.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace dravolin::lnx {

namespace {

// The core's whitespace: what it trims around a target.
bool IsBlank(char c) {
    return (c >= '\t' && c <= '\r') || c == ' ';
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
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

// The password database's entry for `find`, through a buffer that grows as it must.
template <typename Find>
std::string HomeFromPasswords(Find find) {
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int error = find(entry, buffer, found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error == 0 && found && found->pw_dir && found->pw_dir[0] == '/') return found->pw_dir;
        return {};
    }
}

// "~name" or "~name/...": the name; empty for "~", "~/..." and anything else.
std::string_view TildeName(std::string_view core) {
    if (core.size() < 2 || core.front() != '~' || IsSeparator(core[1])) return {};
    std::size_t end = 1;
    while (end < core.size() && !IsSeparator(core[end])) ++end;
    return core.substr(1, end - 1);
}

// A Windows path that names no Linux folder, whatever the file system holds.
TargetRefusal WindowsForm(std::string_view core) {
    if (core.size() >= 2 && IsSeparator(core[0]) && IsSeparator(core[1]) &&
        (core[0] == '\\' || core[1] == '\\')) {
        return TargetRefusal::NetworkName;
    }
    const bool letter = core.size() >= 2 &&
                        ((core[0] >= 'A' && core[0] <= 'Z') || (core[0] >= 'a' && core[0] <= 'z'));
    if (letter && core[1] == ':' && (core.size() == 2 || IsSeparator(core[2]))) {
        return TargetRefusal::DrivePath;
    }
    return TargetRefusal::None;
}

}  // namespace

TargetRefusal RefusalOf(std::string_view text) {
    const std::string_view core = Trimmed(text);
    if (const TargetRefusal windows = WindowsForm(core); windows != TargetRefusal::None) {
        return windows;
    }
    const std::string_view name = TildeName(core);
    if (!name.empty() && HomeFolderOf(std::string(name)).empty()) return TargetRefusal::UnknownUser;
    return TargetRefusal::None;
}

std::string UserNameOf(std::string_view text) {
    return std::string(TildeName(Trimmed(text)));
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    return HomeFromPasswords([](passwd& entry, std::vector<char>& buffer, passwd*& found) {
        return ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    });
}

std::string HomeFolderOf(const std::string& name) {
    if (name.empty()) return {};
    return HomeFromPasswords([&](passwd& entry, std::vector<char>& buffer, passwd*& found) {
        return ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
    });
}

std::string LinuxPathOf(std::string_view text, std::string_view home) {
    if (WindowsForm(Trimmed(text)) != TargetRefusal::None) {
        return std::string(text);  // as the user wrote it: a Linux reading would plant it
    }
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
    std::string resolved;
    if (const std::string_view name = TildeName(core); !name.empty()) {
        const std::string theirs = HomeFolderOf(std::string(name));
        if (theirs.empty()) return path;  // refused as it stands, never made under the home
        resolved = UnderHome(theirs, core.substr(1 + name.size()));
    } else {
        const bool tilde = core == "~" || core.starts_with("~/");
        resolved = UnderHome(home, tilde ? core.substr(1) : core);
    }
    return path.substr(0, begin) + resolved + path.substr(end);
}

std::string LocalPathOf(std::string_view text) {
    text = Trimmed(text);
    // The home folder is only looked up for a path that needs it: the copy's worker threads
    // read their (absolute) targets here too.
    const bool absolute = !text.empty() && (text.front() == '/' || text.front() == '\\');
    std::string path = LinuxPathOf(text, absolute ? std::string() : HomeFolder());
    while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
    return path;
}

std::string FolderOfTarget(std::string_view target) {
    std::string folder = LocalPathOf(target);
    return folder.starts_with('/') ? folder : std::string();
}

}  // namespace dravolin::lnx

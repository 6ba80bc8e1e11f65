#include "platform/linux/mount/MountTable.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <fstream>
#include <sstream>

namespace dravolin::lnx {

namespace {

// The kernel writes blanks, tabs, newlines and backslashes in paths as \ooo.
std::string Unescape(std::string_view field) {
    std::string out;
    const auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) &&
            octal(i + 3)) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool ParseDevice(std::string_view field, unsigned& major, unsigned& minor) {
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= field.size()) return false;
    unsigned values[2] = {0, 0};
    std::string_view parts[2] = {field.substr(0, colon), field.substr(colon + 1)};
    for (int p = 0; p < 2; ++p) {
        if (parts[p].size() > 9) return false;
        for (char c : parts[p]) {
            if (c < '0' || c > '9') return false;
            values[p] = values[p] * 10 + static_cast<unsigned>(c - '0');
        }
    }
    major = values[0];
    minor = values[1];
    return true;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> table;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

        const std::vector<std::string_view> fields = SplitFields(line);
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (fields.size() < 6 || dash + 2 >= fields.size()) continue;
        MountEntry entry;
        if (!ParseDevice(fields[2], entry.major, entry.minor)) continue;
        entry.root = Unescape(fields[3]);
        entry.mountPoint = Unescape(fields[4]);
        entry.fsType = Unescape(fields[dash + 1]);
        entry.source = Unescape(fields[dash + 2]);
        table.push_back(std::move(entry));
    }
    return table;
}

std::vector<MountEntry> ReadMountInfo(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

std::optional<std::string> FindMountPoint(const std::vector<MountEntry>& table,
                                          const std::string& deviceNode) {
    // The source is whatever text the mounter chose: another user's FUSE file system may call
    // itself "/dev/sr0". The device number is the kernel's own account of what is mounted.
    struct stat st {};
    if (::stat(deviceNode.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    for (const MountEntry& entry : table) {
        if (entry.root == "/" && entry.major == major(st.st_rdev) &&
            entry.minor == minor(st.st_rdev)) {
            return entry.mountPoint;
        }
    }
    return std::nullopt;
}

}  // namespace dravolin::lnx

#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::lnx {

struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;        // the part of the file system mounted, "/" for all of it
    std::string mountPoint;  // unescaped
    std::string fsType;
    std::string source;  // unescaped
};

// Parses /proc/<pid>/mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Reads and parses a mountinfo file; empty when it cannot be read.
std::vector<MountEntry> ReadMountInfo(const std::string& path);

// Where the whole file system of the block device `deviceNode` is mounted, matched by device
// number alone, never by the mount's source name. Nullopt when the node is no block device.
std::optional<std::string> FindMountPoint(const std::vector<MountEntry>& table,
                                          const std::string& deviceNode);

}  // namespace dravolin::lnx

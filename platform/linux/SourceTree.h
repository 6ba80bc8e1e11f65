#pragma once
#include <sys/types.h>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace dravolin::lnx {

// One regular file or folder of the disc. Links and special files never become nodes.
struct SourceNode {
    std::string name;
    bool folder = false;
    std::uint64_t size = 0;
    mode_t mode = 0;
    timespec modified{};
    int listError = 0;  // a folder whose entries could not be read: its errno
    std::vector<SourceNode> children;
};

// What a scan left out, for the summary at the end.
struct SkippedEntries {
    std::uint64_t links = 0;
    std::uint64_t special = 0;  // devices, FIFOs, sockets
    std::uint64_t badNames = 0;
};

struct SubtreeSize {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

// Lists the folder open at `folderFd` into `folder`'s children, recursively, never following a
// link. Children are sorted by name, so a copy's order does not depend on the file system.
void ScanFolder(int folderFd, SourceNode& folder, SkippedEntries& skipped, int depth = 0);

SubtreeSize SizeOf(const SourceNode& node);

}  // namespace dravolin::lnx

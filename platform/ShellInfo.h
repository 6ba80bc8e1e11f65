#pragma once
#include <cstdint>
#include <string>
#include "platform/Icon.h"

namespace dravolin {

// The shell's icon and display name of a path (SHGetFileInfoA).
class ShellInfo {
  public:
    virtual ~ShellInfo() = default;
    struct FileInfo {
        IconPtr icon;  // null when the shell gave none
        std::string displayName;
    };
    virtual FileInfo GetFileInfo(const std::string& path, std::uint32_t attributes,
                                 std::uint32_t flags) = 0;
};

}  // namespace dravolin

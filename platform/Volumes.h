#pragma once
#include <cstdint>
#include <string>

namespace dravolin {

// Drive type and volume queries on a device root such as "\\.\E:\".
class Volumes {
  public:
    virtual ~Volumes() = default;
    virtual std::uint32_t GetDriveType(const std::string& root) = 0;  // GetDriveTypeA
    struct Info {
        bool ok = false;
        std::string label;         // at most labelCapacity - 1 bytes
        std::uint32_t serial = 0;  // 0 when the query failed
    };
    virtual Info GetVolumeInformation(const std::string& root, std::uint32_t labelCapacity) = 0;
};

}  // namespace dravolin

#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace dravolin {

// An open device; destroying it closes the handle.
class Device {
  public:
    virtual ~Device() = default;
    // DeviceIoControl with no input and no output buffer.
    virtual bool Control(std::uint32_t code) = 0;
};

// Opening devices by path (CreateFileA). Used from the UI thread and from workers at once:
// implementations are thread-safe.
class DeviceControl {
  public:
    virtual ~DeviceControl() = default;
    // Null when the device cannot be opened.
    virtual std::unique_ptr<Device> Open(const std::string& path, std::uint32_t access,
                                         std::uint32_t share, std::uint32_t disposition) = 0;
};

}  // namespace dravolin

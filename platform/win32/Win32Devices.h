#pragma once
// Drive types, volume information and device commands. Thread-safe: the calls keep no state
// of their own, and workers open devices while the UI thread queries volumes.
#include "platform/DeviceControl.h"
#include "platform/Volumes.h"
#include "platform/win32/Handles.h"

namespace dravolin::win32 {

class Win32Volumes : public Volumes {
  public:
    Win32Volumes();
    std::uint32_t GetDriveType(const std::string& root) override;
    Info GetVolumeInformation(const std::string& root, std::uint32_t labelCapacity) override;

  private:
    bool underWine_;
};

class Win32Device : public Device {
  public:
    explicit Win32Device(UniqueHandle handle) : handle_(std::move(handle)) {}
    bool Control(std::uint32_t code) override;

  private:
    UniqueHandle handle_;
};

class Win32DeviceControl : public DeviceControl {
  public:
    std::unique_ptr<Device> Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                                 std::uint32_t disposition) override;
};

// Whether this process runs under Wine rather than Windows.
bool RunningUnderWine();

}  // namespace dravolin::win32

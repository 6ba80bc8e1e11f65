#pragma once
// Drive types, volume information and device commands. Thread-safe: the calls keep no state
// of their own, and workers open devices while the UI thread queries volumes.
#include <functional>
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
    // `wineRoot` is the device root ("\\.\E:\") of the drive when running under Wine, empty
    // otherwise.
    Win32Device(UniqueHandle handle, std::string wineRoot)
        : handle_(std::move(handle)), wineRoot_(std::move(wineRoot)) {}
    bool Control(std::uint32_t code) override;

  private:
    bool Issue(std::uint32_t code, void* input, std::uint32_t inputSize);
    bool EjectUnderWine();

    UniqueHandle handle_;
    std::string wineRoot_;
};

class Win32DeviceControl : public DeviceControl {
  public:
    Win32DeviceControl();
    std::unique_ptr<Device> Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                                 std::uint32_t disposition) override;

  private:
    bool underWine_;
};

// Whether this process runs under Wine rather than Windows.
bool RunningUnderWine();

// Asks `attempt` again, kEjectPauseMs apart, while it answers Refused: a worker for about five
// seconds, the UI thread (a user's double-click) for about one, as long as a user waits on a
// click. True once it answers Done; false when it answers Final or the tries run out.
enum class Answer { Done, Refused, Final };
inline constexpr DWORD kEjectPauseMs = 250;
inline constexpr int kEjectAttemptsOnWorker = 20;
inline constexpr int kEjectAttemptsOnUiThread = 5;
bool AskWhileRefused(const std::function<Answer()>& attempt);

}  // namespace dravolin::win32

#include "engine/DriveControl.h"
#include "engine/DriveEntry.h"

namespace dravolin {

namespace {

// Keeps the wait cursor up for exactly the lifetime of the command, whichever way it ends.
class WaitCursorScope {
  public:
    explicit WaitCursorScope(WaitCursor& cursor) : cursor_(cursor) { cursor_.Begin(); }
    ~WaitCursorScope() { cursor_.End(); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

  private:
    WaitCursor& cursor_;
};

bool ControlWithWaitCursor(const WorkerServices& services, char letter, std::uint32_t code) {
    WaitCursorScope scope(*services.cursor);
    return ControlDrive(*services.devices, letter, code);
}

}  // namespace

bool ControlDrive(DeviceControl& devices, char letter, std::uint32_t code) {
    // The device is closed when `device` goes out of scope, after the command.
    std::unique_ptr<Device> device =
        devices.Open(DrivePath(kDevicePathPattern, letter), win::kGenericRead,
                     win::kFileShareRead | win::kFileShareWrite, win::kOpenExisting);
    if (!device) return false;
    return device->Control(code);
}

bool HasMedia(DeviceControl& devices, char letter) {
    return ControlDrive(devices, letter, win::kIoctlDiskCheckVerify);
}

bool EjectDisc(const WorkerServices& services, char letter) {
    return ControlWithWaitCursor(services, letter, win::kIoctlDiskEjectMedia);
}

bool LoadDisc(const WorkerServices& services, char letter) {
    return ControlWithWaitCursor(services, letter, win::kIoctlDiskLoadMedia);
}

}  // namespace dravolin

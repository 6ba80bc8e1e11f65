#pragma once
#include <cstdint>
#include "platform/Platform.h"

namespace dravolin {

// Opens the drive's device path, issues one control code without buffers, closes the device.
// Callable from any thread.
bool ControlDrive(DeviceControl& devices, char letter, std::uint32_t code);
bool HasMedia(DeviceControl& devices, char letter);
// Eject and load show the application's wait cursor around the command.
bool EjectDisc(const WorkerServices& services, char letter);
bool LoadDisc(const WorkerServices& services, char letter);

}  // namespace dravolin

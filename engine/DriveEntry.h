#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "platform/Threads.h"
#include "platform/Types.h"

namespace dravolin {

// The copy-cycle state of a drive. The status text of a row is string 132 + state.
enum DriveState : std::int32_t {
    DriveStateNone = -1,  // only between a record's creation and its first UpdateDriveRow
    Idle = 0,
    Ejecting = 1,
    Waiting = 2,
    Copying = 3,
};

// One CD drive. Owned by the dialog through its row; a running worker shares it so that the
// record outlives the worker. While a worker runs, the UI thread only reads `letter`.
struct DriveEntry {
    char letter = 0;
    DriveState state = DriveStateNone;
    std::uint32_t serial = 0xFFFFFFFFu;    // 0 stands for no readable volume
    std::unique_ptr<WorkerThread> worker;  // the worker last started; null when none
    std::string destination;               // the folder of the copy in progress
    WindowHandle owner = 0;                // owner of the copy's progress and prompts
};

// Fills the pattern's "$" with the drive letter: "\\.\$:\", "$:\", "\\.\$:", "$:\*.*".
std::string DrivePath(const char* pattern, char letter);

inline constexpr const char* kDeviceRootPattern = "\\\\.\\$:\\";
inline constexpr const char* kShellRootPattern = "$:\\";
inline constexpr const char* kDevicePathPattern = "\\\\.\\$:";
inline constexpr const char* kCopySourcePattern = "$:\\*.*";

}  // namespace dravolin

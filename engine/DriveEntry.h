#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "engine/ArchiveSettings.h"
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
// The copy worker reads `serial` and `label` as the row showed them when the copy started.
struct DriveEntry {
    char letter = 0;
    DriveState state = DriveStateNone;
    std::uint32_t serial = 0xFFFFFFFFu;    // 0 stands for no readable volume
    std::unique_ptr<WorkerThread> worker;  // the worker last started; null when none
    std::string destination;               // the folder of the copy in progress
    WindowHandle owner = 0;                // owner of the copy's progress and prompts
    std::string label;                     // the volume label; empty when none was read
    // Archive mode's settings, shared by every row of the dialog; null when the mode is off.
    std::shared_ptr<const ArchiveSettings> archive;
    // Set by an archive worker whose disc met a full target; the poll takes it after the end.
    bool targetFull = false;
};

// Fills the pattern's "$" with the drive letter: "\\.\$:\", "$:\", "\\.\$:", "$:\*.*".
std::string DrivePath(const char* pattern, char letter);

inline constexpr const char* kDeviceRootPattern = "\\\\.\\$:\\";
inline constexpr const char* kShellRootPattern = "$:\\";
inline constexpr const char* kDevicePathPattern = "\\\\.\\$:";
inline constexpr const char* kCopySourcePattern = "$:\\*.*";

}  // namespace dravolin

#pragma once
#include <cstdint>
#include <string>
#include "platform/Types.h"
#include "archive/DiscResult.h"
#include "engine/ArchiveSettings.h"
#include "platform/Archiver.h"

namespace dravolin {

// One disc in a drive, to archive into a target folder.
struct DiscToArchive {
    char letter = 0;  // 0: files read from a folder no drive is known for
    WindowHandle owner = 0;
    std::string folder;  // the target folder
    std::string label;   // the volume label the row shows
    std::uint32_t fingerprint = 0;
};

// Archives one disc: a disc the target's log already has complete is only logged, any other
// becomes a new bag; either way the log gets one row and the desktop hears of it (quietly when
// nothing needs a person). A full target is left to the caller to tell, once for every drive.
// Waits for nobody. Runs on a worker thread.
archive::DiscResult ArchiveDisc(Archiver& archiver, const ArchiveSettings& settings,
                                DiscToArchive disc);

}  // namespace dravolin

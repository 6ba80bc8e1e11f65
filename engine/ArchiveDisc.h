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
    std::string identity;  // archive::Decide's; empty when unknown
};

// Archives one disc: a disc the target already has complete is only logged, any other becomes a
// new bag; either way the log gets one row and the desktop hears of it (quietly when nothing
// needs a person; a row the log did not take needs one). The disc is claimed from the decision
// to its row, so that the same disc in another drive or program waits, then finds it archived.
// A full target is left to the caller to tell, once for every drive. Runs on a worker thread.
struct ArchivedDisc {
    archive::DiscResult result = archive::DiscResult::Failed;
    std::string archivedIn;  // AlreadyArchived: the folder of the bag that holds the disc
    // The disc's incomplete bag its read carried on from (replaced, unless it gained nothing),
    // and the bytes it gained; empty when it was read anew.
    std::string readOnFrom;
    std::uint64_t gained = 0;
};
ArchivedDisc ArchiveDisc(Archiver& archiver, const ArchiveSettings& settings, DiscToArchive disc);

}  // namespace dravolin

#pragma once
#include <optional>
#include <vector>
#include "archive/BagRecord.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/copy/ImageFill.h"

namespace dravolin::lnx {

// The portable parts of what an archive copy wrote.
using archive::ArchivedFile;
using archive::ByteRange;
using archive::UnreadEntry;

// What an archive copy tells about the disc beyond the files themselves. An archive copy asks
// nobody anything: a read error of a file's data is recovered (the file is written in full,
// zeros where the disc could not be read), a file or folder the disc cannot give at all is left
// out and listed, and any other failure (the target's) ends the copy, recorded here.
struct ArchiveRecord {
    std::vector<ArchivedFile> files;  // in the order they were put in place
    std::vector<UnreadEntry> unread;  // in the order they were met
    std::optional<CopyFailure> failure;
    // Set when the files are taken out of the disc's image rather than from the disc: where the
    // disc could not be read, the image holds this fill.
    ImageFill* fill = nullptr;
};

}  // namespace dravolin::lnx

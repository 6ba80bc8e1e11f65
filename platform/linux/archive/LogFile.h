#pragma once
#include <string>
#include "archive/ArchiveLog.h"
#include "platform/linux/copy/CopyIo.h"

namespace dravolin::lnx {

// The run's log in a target folder on the disk. Several drives of one program, and several
// programs sharing the folder, read and append it at once: an append holds an exclusive lock
// on the file (flock, which also holds across a network file system that emulates it) while it
// looks at the log's end and writes, so every row lands whole and a new log gets one header;
// a read holds a shared one. A row that cannot be written whole is cut off again, so it never
// lies torn before the next one.

// The log's text; empty when there is none or it cannot be read.
std::string ReadLogFile(const std::string& folder);

// Appends the row and flushes it; false when it is not on the disk.
bool AppendLogRow(CopyIo& io, const std::string& folder, const archive::LogRow& row);

}  // namespace dravolin::lnx

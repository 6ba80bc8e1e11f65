#pragma once
// The run's log, archive-log.csv in a target folder, read and appended with Win32 file calls.
// Several drives of one program, and several programs sharing the folder, read and append it at
// once: an append holds an exclusive lock on the whole file (LockFileEx, which a network share
// passes on to its server) while it looks at the log's end and writes, so every row lands whole
// and a new log gets one header; a read holds a shared one. A row that cannot be written whole
// is cut off again, so it never lies torn before the next one.
#include <cstdint>
#include <functional>
#include <string>
#include "archive/ArchiveLog.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

// Writes `size` bytes at `offset` of the file; the bytes written, or -1 when the write failed.
// WriteFile unless a test puts a failing one in its place.
using LogWrite =
    std::function<long long(HANDLE file, const char* data, DWORD size, std::uint64_t offset)>;

// The log's text; empty when there is none or it cannot be read.
std::string ReadLogFile(const std::wstring& folder);

// Appends the row and flushes it; false when it is not on the disk.
bool AppendLogRow(const std::wstring& folder, const archive::LogRow& row,
                  const LogWrite& write = nullptr);

}  // namespace dravolin::win32

#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::lnx {

// Bytes [begin, end) of a file.
struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool operator==(const ByteRange&) const = default;
};

// One file an archive copy wrote in full: its path below the disc's root ('/' between
// folders), its size, the SHA-256 of the bytes written, and where those bytes are zeros
// because the disc could not be read there.
struct ArchivedFile {
    std::string path;
    std::uint64_t size = 0;
    std::string sha256;
    std::vector<ByteRange> damaged;
};

// A file or folder of the disc that could not be read at all (opened, listed): not in the copy.
struct UnreadEntry {
    std::string path;    // below the disc's root, as ArchivedFile's
    std::string reason;  // the system's words
};

// What an archive copy tells about the disc beyond the files themselves. An archive copy asks
// nobody anything: a read error of a file's data is recovered (the file is written in full,
// zeros where the disc could not be read), a file or folder the disc cannot give at all is left
// out and listed, and any other failure (the target's) ends the copy, recorded here.
struct ArchiveRecord {
    std::vector<ArchivedFile> files;  // in the order they were written
    std::vector<UnreadEntry> unread;  // in the order they were met
    std::optional<CopyFailure> failure;
};

}  // namespace dravolin::lnx

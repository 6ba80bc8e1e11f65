#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::archive {

// Bytes [begin, end) of a file.
struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool operator==(const ByteRange&) const = default;
};

// Where a bag keeps the disc's files, apart from what belongs to the disc as a whole (its image
// and map), so that no name on a disc can meet those.
inline constexpr char kPayloadFolder[] = "data";
inline constexpr char kFilesFolder[] = "data/files";
inline constexpr char kImageFolder[] = "data/image";

// What a bag keeps of a disc that is read into an image first: the image (with its map of what
// could not be read) and the files taken out of it, the files alone (the image removed once they
// are out), or the image alone. Where no image is read, the files.
enum class BagKeeps { Both, Files, Image };

// One file an archive copy wrote in full: its path in the bag below `folder` ('/' between
// folders, UTF-8 on Windows, bytes as read on Linux), its size, the SHA-256 of the bytes
// written, and where those bytes are zeros because the disc could not be read there (for an
// audio track under data/audio, where its samples are not exactly the disc's: ranges of samples).
struct ArchivedFile {
    std::string path;
    std::uint64_t size = 0;
    std::string sha256;
    std::vector<ByteRange> damaged;
    std::string_view folder = kFilesFolder;  // the disc's image and map: kImageFolder
};

// A file or folder of the disc that could not be read at all (opened, listed): not in the copy.
struct UnreadEntry {
    std::string path;    // below the disc's root, as ArchivedFile's
    std::string reason;  // the system's words
};

}  // namespace dravolin::archive

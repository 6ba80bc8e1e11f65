#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace dravolin::lnx {

// A file system as the desktop's own probing names it.
struct ProbedFileSystem {
    std::string type;   // libblkid's name: "iso9660", "udf", ...
    std::string label;  // UTF-8; empty for an unlabelled volume
};

// Asks libblkid about the disc behind `fd` (a drive or an image file) the way udev does for
// the desktop: the whole device, with the start of its last session given as the
// "session_offset" hint, so that a multi-session disc shows its newest session and UDF
// locations, which count from the disc's start, stay right. The label is what the file manager
// shows: Joliet's name completed from the primary descriptor where Joliet cut it short (and
// Joliet's alone where the two disagree), UDF's logical volume name. A label that is not UTF-8 (a
// primary descriptor written in a single-byte code page) is read as Latin-1, so that nothing of it
// is lost. Nullopt when libblkid finds no file system, or more than one that cannot share the disc.
std::optional<ProbedFileSystem> ProbeFileSystem(int fd, std::uint64_t sessionOffset);

}  // namespace dravolin::lnx

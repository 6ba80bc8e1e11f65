#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/order/DiscTree.h"
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// The program that reads a disc's layout with the library of its file system, printing what
// `EncodeLayout` makes of it. A disc's directories are read twice, by the kernel for the copy
// and by a library for the order, and a disc may lie to one and not the other: a folder that
// holds its own parent keeps libisofs going for ever. In a process of its own, started afresh
// (a fork of this threaded program could only call what is safe in a signal handler), such a
// disc costs at most the deadline and a bounded amount of memory, a crash in the library ends
// only the helper, and then the copy keeps name order.
inline constexpr const char* kLayoutHelperName = "dravolin-disc-layout";

// Where the helper is: libexec/dravolin/ beside the folder of the running program (installed:
// /usr/bin and /usr/libexec), or in the build tree, whose libexec/dravolin/ lies a level or two
// higher than its programs. Nullopt where there is none, as in a build without the libraries.
std::optional<std::string> FindLayoutHelper();

// Runs `helper` on `device`, a block device or an image holding `fsType` ("iso9660" or "udf"),
// and hands back what it found. Nullopt when the helper cannot be started, fails, dies, is not
// done within `deadline`, or replies with anything but a layout.
std::optional<FileStarts> ReadApart(const std::string& helper, const std::string& fsType,
                                    const std::string& device, std::uint64_t maxEntries,
                                    std::chrono::milliseconds deadline);

// Every entry of the disc or image in `device`, with where its bytes lie, the same way; of an
// ISO 9660 image's session that begins at block `session`, where that is not 0.
std::optional<DiscTree> ReadTreeApart(const std::string& helper, const std::string& fsType,
                                      const std::string& device, std::uint64_t maxEntries,
                                      std::chrono::milliseconds deadline,
                                      std::uint64_t session = 0);

}  // namespace dravolin::lnx

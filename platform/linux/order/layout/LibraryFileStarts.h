#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// The folders a disc's directories may nest before the rest is left unordered; the scan of the
// mounted tree stops at the same depth, and a disc whose folders lead into one another stops
// here too.
inline constexpr int kLayoutMaxDepth = 256;

// What a disc's own directories say, as a library of the field reads them from `device` (a
// block device or an image). Nullopt where the library cannot read the disc, or it names more
// than `maxEntries` files and folders: a disc that lies gets no say in the order.
// ISO 9660 with the names the kernel shows: Rock Ridge where present, else Joliet, else the
// plain names lower-cased without their version. On a multi-session disc, the last session.
std::optional<FileStarts> IsoFileStarts(const std::string& device, std::uint64_t maxEntries);
// UDF.
std::optional<FileStarts> UdfFileStarts(const std::string& device, std::uint64_t maxEntries);

}  // namespace dravolin::lnx

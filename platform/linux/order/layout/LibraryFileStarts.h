#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/order/DiscTree.h"
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// The folders a disc's directories may nest before the rest is left out; the scan of the
// mounted tree stops at the same depth, and a disc whose folders lead into one another stops
// here too.
inline constexpr int kLayoutMaxDepth = 256;
inline constexpr std::uint64_t kLayoutBlock = 2048;

// What a disc's own directories say, as a library of the field reads them from `device` (a
// block device or an image). Nullopt where the library cannot read the disc, or it names more
// than `maxEntries` files and folders: a disc that lies gets no say.
// ISO 9660 with the names the kernel shows: Rock Ridge where present, else Joliet, else the
// plain names lower-cased without their version. On a multi-session disc, the last session:
// where it begins as the drive says, or at block `session` (of an image, which has no
// sessions to ask about).
std::optional<DiscTree> IsoTree(const std::string& device, std::uint64_t maxEntries,
                                std::optional<std::uint32_t> session = std::nullopt);
// UDF.
std::optional<DiscTree> UdfTree(const std::string& device, std::uint64_t maxEntries);

// Where each file's data begin, as the order of a copy wants them.
FileStarts StartsOf(const DiscTree& tree);

}  // namespace dravolin::lnx

#pragma once
#include <optional>
#include <string>
#include "platform/linux/order/DiscTree.h"
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// What the layout helper writes to its output and the program reads back, little-endian.
// The layout: each file as its block (8 bytes), its path's length (4) and its path.
std::string EncodeLayout(const FileStarts& starts);
// The tree: each entry as its kind (1), size (8), time (8), number of extents (4) and each
// extent's offset and length (8 and 8), its inline data's length (4) and data, its path's
// length (4) and path.
std::string EncodeTree(const DiscTree& tree);
// Nullopt for a reply cut short or otherwise not of that shape.
std::optional<FileStarts> DecodeLayout(const std::string& reply);
std::optional<DiscTree> DecodeTree(const std::string& reply);

}  // namespace dravolin::lnx

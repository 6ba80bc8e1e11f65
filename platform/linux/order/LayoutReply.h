#pragma once
#include <optional>
#include <string>
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// What the layout helper writes to its output and the program reads back: each file as its
// block (8 bytes, little-endian), its path's length (4) and its path.
std::string EncodeLayout(const FileStarts& starts);
// Nullopt for a reply cut short or otherwise not of that shape.
std::optional<FileStarts> DecodeLayout(const std::string& reply);

}  // namespace dravolin::lnx

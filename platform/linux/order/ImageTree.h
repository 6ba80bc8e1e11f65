#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/order/DiscTree.h"

namespace dravolin::lnx {

// Every entry of the ISO 9660 or UDF image file at `path`, with where its bytes lie, as the
// library of its file system reads it in the layout helper (ReadTreeApart): of the session
// that begins `sessionOffset` bytes into an image of a multi-session disc. Nullopt where there
// is no helper (a build without the libraries), the image holds neither file system there, or
// the library cannot read it.
std::optional<DiscTree> ReadImageTree(const std::string& path, std::uint64_t sessionOffset = 0);

}  // namespace dravolin::lnx

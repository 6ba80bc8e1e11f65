#pragma once
#include <optional>
#include <string>
#include "platform/linux/order/DiscTree.h"

namespace dravolin::lnx {

// Every entry of the ISO 9660 or UDF image file at `path`, with where its bytes lie, as the
// library of its file system reads it in the layout helper (ReadTreeApart). Nullopt where there
// is no helper (a build without the libraries), the image holds neither file system, or the
// library cannot read it.
std::optional<DiscTree> ReadImageTree(const std::string& path);

}  // namespace dravolin::lnx

#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

// Whether DRAVOLIN_COPY_ORDER=name asks for name order whatever the disc: to measure what the
// disc order saves, both in one run. Any other value, or none, leaves the disc order on.
bool NameOrderAsked();

// Where each file of the disc mounted at `folder` begins, read from the device behind the
// mount by the library of its file system (ISO 9660 or UDF), in the layout helper (ReadApart).
// Nullopt when `folder` is not the root of such a mount, the helper is not there (a build
// without the libraries) or the library cannot read the disc.
std::optional<FileStarts> MountedFileStarts(const std::string& folder, std::uint64_t maxEntries);

}  // namespace dravolin::lnx

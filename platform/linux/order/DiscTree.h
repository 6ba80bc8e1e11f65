#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "archive/RescueMap.h"

namespace dravolin::lnx {

// One entry of a disc's file system as the library of that file system reads it from the disc's
// image: what the files are taken out of where the kernel cannot mount the image.
struct TreeEntry {
    enum class Kind : std::uint8_t { Folder, File, Link, Special };
    std::string path;  // "folder/file", as the file system names it; a folder before its entries
    Kind kind = Kind::File;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // seconds since 1970; 0 where the library does not say
    // A file's bytes: where they lie on the disc, in the file's order...
    std::vector<archive::DiscExtent> extents;
    // ...or, for data a UDF file keeps inside its own entry, the bytes themselves. A file with
    // neither (its data somewhere the library cannot point to) cannot be taken out.
    std::string inlineData;
};
using DiscTree = std::vector<TreeEntry>;

}  // namespace dravolin::lnx

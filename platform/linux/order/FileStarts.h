#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

namespace dravolin::lnx {

// Where the data of each file of a disc begin, in 2048-byte blocks from the start of the disc,
// by the path the file system shows the file under ("folder/file"). Only a sort key: nothing
// is ever read or written by these paths.
using FileStarts = std::unordered_map<std::string, std::uint64_t>;

}  // namespace dravolin::lnx

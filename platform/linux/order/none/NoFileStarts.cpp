// A build without the disc libraries (a static program: Debian ships no static libudfread):
// no disc says where its files lie, and every copy keeps name order.
#include "platform/linux/order/FileStarts.h"

namespace dravolin::lnx {

std::optional<FileStarts> IsoFileStarts(const std::string&, std::uint64_t) {
    return std::nullopt;
}

std::optional<FileStarts> UdfFileStarts(const std::string&, std::uint64_t) {
    return std::nullopt;
}

}  // namespace dravolin::lnx

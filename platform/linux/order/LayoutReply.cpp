#include "platform/linux/order/LayoutReply.h"

#include <cstddef>
#include <cstdint>

namespace dravolin::lnx {

namespace {

void Append(std::string& out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

std::uint64_t Take(const std::string& in, std::size_t& at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
    }
    at += bytes;
    return value;
}

}  // namespace

std::string EncodeLayout(const FileStarts& starts) {
    std::string reply;
    for (const auto& [path, block] : starts) {
        Append(reply, block, 8);
        Append(reply, path.size(), 4);
        reply += path;
    }
    return reply;
}

std::optional<FileStarts> DecodeLayout(const std::string& reply) {
    FileStarts starts;
    std::size_t at = 0;
    while (at < reply.size()) {
        if (reply.size() - at < 12) return std::nullopt;
        const std::uint64_t block = Take(reply, at, 8);
        const std::size_t length = Take(reply, at, 4);
        if (reply.size() - at < length) return std::nullopt;
        starts.emplace(reply.substr(at, length), block);
        at += length;
    }
    return starts;
}

}  // namespace dravolin::lnx

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

// Takes `length` bytes into `out`: false where the reply holds fewer.
bool TakeText(const std::string& in, std::size_t& at, std::size_t length, std::string& out) {
    if (in.size() - at < length) return false;
    out = in.substr(at, length);
    at += length;
    return true;
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

std::string EncodeTree(const DiscTree& tree) {
    std::string reply;
    for (const TreeEntry& entry : tree) {
        Append(reply, static_cast<std::uint64_t>(entry.kind), 1);
        Append(reply, entry.size, 8);
        Append(reply, static_cast<std::uint64_t>(entry.modified), 8);
        Append(reply, entry.extents.size(), 4);
        for (const archive::DiscExtent& extent : entry.extents) {
            Append(reply, extent.discOffset, 8);
            Append(reply, extent.length, 8);
        }
        Append(reply, entry.inlineData.size(), 4);
        reply += entry.inlineData;
        Append(reply, entry.path.size(), 4);
        reply += entry.path;
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

std::optional<DiscTree> DecodeTree(const std::string& reply) {
    DiscTree tree;
    std::size_t at = 0;
    while (at < reply.size()) {
        if (reply.size() - at < 21) return std::nullopt;
        TreeEntry entry;
        const std::uint64_t kind = Take(reply, at, 1);
        if (kind > static_cast<std::uint64_t>(TreeEntry::Kind::Special)) return std::nullopt;
        entry.kind = static_cast<TreeEntry::Kind>(kind);
        entry.size = Take(reply, at, 8);
        entry.modified = static_cast<std::int64_t>(Take(reply, at, 8));
        const std::uint64_t extents = Take(reply, at, 4);
        if ((reply.size() - at) / 16 < extents) return std::nullopt;
        entry.extents.resize(extents);
        for (archive::DiscExtent& extent : entry.extents) {
            extent.discOffset = Take(reply, at, 8);
            extent.length = Take(reply, at, 8);
        }
        if (reply.size() - at < 4 || !TakeText(reply, at, Take(reply, at, 4), entry.inlineData) ||
            reply.size() - at < 4 || !TakeText(reply, at, Take(reply, at, 4), entry.path)) {
            return std::nullopt;
        }
        tree.push_back(std::move(entry));
    }
    return tree;
}

}  // namespace dravolin::lnx

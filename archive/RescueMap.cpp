#include "archive/RescueMap.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include "archive/Recovery.h"

namespace dravolin::archive {

RescueMap::RescueMap(std::uint64_t extent) : extent_(extent) {
    if (extent > 0) blocks_.emplace(0, MapBlock{0, extent, BlockState::NonTried});
}

void RescueMap::Mark(std::uint64_t pos, std::uint64_t size, BlockState state) {
    const std::uint64_t end = std::min(extent_, pos + size);
    if (pos >= end) return;
    // Cut the blocks at both edges, so that [pos, end) is whole blocks.
    for (const std::uint64_t edge : {pos, end}) {
        auto after = blocks_.upper_bound(edge);
        if (after == blocks_.begin()) continue;
        MapBlock& holder = std::prev(after)->second;
        if (holder.pos < edge && edge < holder.end()) {
            const MapBlock tail{edge, holder.end() - edge, holder.state};
            holder.size = edge - holder.pos;
            blocks_.emplace(edge, tail);
        }
    }
    blocks_.erase(blocks_.lower_bound(pos), blocks_.lower_bound(end));
    MapBlock block{pos, end - pos, state};
    // Joined with its neighbours in the same state.
    if (auto next = blocks_.find(end); next != blocks_.end() && next->second.state == state) {
        block.size += next->second.size;
        blocks_.erase(next);
    }
    if (auto at = blocks_.lower_bound(pos); at != blocks_.begin()) {
        MapBlock& before = std::prev(at)->second;
        if (before.state == state) {
            before.size += block.size;
            return;
        }
    }
    blocks_.emplace(pos, block);
}

std::vector<MapBlock> RescueMap::Blocks() const {
    std::vector<MapBlock> out;
    out.reserve(blocks_.size());
    for (const auto& [pos, block] : blocks_) out.push_back(block);
    return out;
}

std::uint64_t RescueMap::Bytes(BlockState state) const {
    std::uint64_t total = 0;
    for (const auto& [pos, block] : blocks_) {
        if (block.state == state) total += block.size;
    }
    return total;
}

std::optional<MapBlock> RescueMap::NextFrom(std::uint64_t pos, BlockState state) const {
    auto it = blocks_.upper_bound(pos);
    if (it != blocks_.begin()) --it;
    for (; it != blocks_.end(); ++it) {
        const MapBlock& block = it->second;
        if (block.state != state || block.end() <= pos) continue;
        const std::uint64_t from = std::max(pos, block.pos);
        return MapBlock{from, block.end() - from, state};
    }
    return std::nullopt;
}

bool RescueMap::Finished() const {
    return Bytes(BlockState::Rescued) + Bytes(BlockState::Bad) == extent_;
}

std::string MapHex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

namespace {

bool IsBlockState(char c) {
    return c == '?' || c == '*' || c == '/' || c == '-' || c == '+';
}

// The next whitespace-separated word of `line`, taken off it.
std::string_view MapWord(std::string_view& line) {
    const auto begin = line.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(begin);
    const auto end = std::min(line.size(), line.find_first_of(" \t\r"));
    const std::string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
}

// A number in C notation, as strtoull with base 0 reads it, but the whole word and no sign.
std::optional<std::uint64_t> MapNumber(std::string_view word) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    } else if (word.size() > 1 && word[0] == '0') {
        base = 8;
        word.remove_prefix(1);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || error != std::errc{} || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string MapText(const RescueMap& map, const MapProgress& progress, std::string_view heading) {
    std::string text(heading);
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += "# current_pos  current_status  current_pass\n";
    text += MapHex(progress.pos) + "     " + progress.phase + "               " +
            std::to_string(progress.pass) + "\n";
    text += "#      pos        size  status\n";
    for (const MapBlock& block : map.Blocks()) {
        text += MapHex(block.pos) + "  " + MapHex(block.size) + "  " +
                static_cast<char>(block.state) + "\n";
    }
    return text;
}

std::optional<ParsedMap> ParseMapText(std::string_view text) {
    std::optional<MapProgress> progress;
    std::vector<MapBlock> blocks;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;
        const std::string_view a = MapWord(line), b = MapWord(line), c = MapWord(line);
        if (!MapWord(line).empty()) return std::nullopt;
        if (!progress) {
            const auto pos = MapNumber(a);
            const auto pass = c.empty() ? std::optional<std::uint64_t>(1) : MapNumber(c);
            if (!pos || b.size() != 1 || std::string_view("?*/-FG+").find(b[0]) == b.npos ||
                !pass || *pass > 1000) {
                return std::nullopt;
            }
            progress = MapProgress{*pos, b[0], static_cast<int>(*pass)};
            continue;
        }
        const auto pos = MapNumber(a), size = MapNumber(b);
        const std::uint64_t expected = blocks.empty() ? 0 : blocks.back().end();
        if (!pos || !size || *size == 0 || *pos != expected || *size > UINT64_MAX - *pos ||
            c.size() != 1 || !IsBlockState(c[0])) {
            return std::nullopt;
        }
        blocks.push_back(MapBlock{*pos, *size, static_cast<BlockState>(c[0])});
    }
    if (!progress) return std::nullopt;
    ParsedMap parsed{RescueMap(blocks.empty() ? 0 : blocks.back().end()), *progress};
    for (const MapBlock& block : blocks) parsed.map.Mark(block.pos, block.size, block.state);
    return parsed;
}

RescueMap ForAnotherRead(const RescueMap& earlier) {
    RescueMap next(earlier.Extent());
    for (const MapBlock& block : earlier.Blocks()) {
        if (block.state == BlockState::Rescued) next.Mark(block.pos, block.size, block.state);
    }
    return next;
}

std::vector<ByteRange> UnreadInFile(const RescueMap& map, std::span<const DiscExtent> extents) {
    std::vector<ByteRange> unread;
    std::uint64_t fileOffset = 0;
    for (const DiscExtent& extent : extents) {
        const std::uint64_t end = extent.discOffset + extent.length;
        for (std::uint64_t pos = extent.discOffset; pos < end;) {
            auto rescued = map.NextFrom(pos, BlockState::Rescued);
            // Bytes past the map's extent were never read either.
            const std::uint64_t readFrom = rescued ? std::min(end, rescued->pos) : end;
            if (readFrom > pos) {
                AddDamage(unread, fileOffset + (pos - extent.discOffset),
                          fileOffset + (readFrom - extent.discOffset));
            }
            if (!rescued || rescued->pos >= end) break;
            pos = std::min(end, rescued->end());
        }
        fileOffset += extent.length;
    }
    return unread;
}

}  // namespace dravolin::archive

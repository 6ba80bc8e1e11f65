#include "platform/linux/StoreFormat.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace dravolin::lnx {

namespace {

constexpr std::array<std::uint8_t, 4> kMarker = {0xD7, 'R', 'E', 'C'};
constexpr std::uint32_t kMaxBody = 16u << 20;
constexpr std::size_t kMarkerAndLength = 8;
constexpr std::size_t kCrcSize = 4;

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

void PutLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads the fields of one body; false when they do not fill it exactly.
bool ParseBody(std::span<const std::uint8_t> body, StoreRecord& record) {
    std::size_t at = 0;
    const auto number = [&](std::uint32_t& out) {
        if (body.size() - at < 4) return false;
        out = Le32(body, at);
        at += 4;
        return true;
    };
    const auto text = [&](std::string& out) {
        std::uint32_t length = 0;
        if (!number(length) || body.size() - at < length) return false;
        out.assign(reinterpret_cast<const char*>(body.data() + at), length);
        at += length;
        return true;
    };
    return number(record.root) && number(record.type) && text(record.key) && text(record.name) &&
           text(record.data) && at == body.size();
}

std::size_t NextMarker(std::span<const std::uint8_t> bytes, std::size_t from) {
    const auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                                kMarker.begin(), kMarker.end());
    return static_cast<std::size_t>(it - bytes.begin());
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

StoreRecord* FindRecord(std::vector<StoreRecord>& records, std::uint32_t root, std::string_view key,
                        std::string_view name) {
    for (StoreRecord& record : records) {
        if (record.root == root && SameName(record.key, key) && SameName(record.name, name)) {
            return &record;
        }
    }
    return nullptr;
}

void SetRecord(std::vector<StoreRecord>& records, StoreRecord record) {
    if (StoreRecord* existing = FindRecord(records, record.root, record.key, record.name)) {
        existing->type = record.type;
        existing->data = std::move(record.data);
        return;
    }
    records.push_back(std::move(record));
}

bool EraseRecord(std::vector<StoreRecord>& records, std::uint32_t root, std::string_view key,
                 std::string_view name) {
    const auto it = std::find_if(records.begin(), records.end(), [&](const StoreRecord& r) {
        return r.root == root && SameName(r.key, key) && SameName(r.name, name);
    });
    if (it == records.end()) return false;
    records.erase(it);
    return true;
}

ParsedStore ParseStore(std::span<const std::uint8_t> bytes) {
    ParsedStore parsed;
    if (bytes.size() < kStoreMagic.size() ||
        std::memcmp(bytes.data(), kStoreMagic.data(), kStoreMagic.size()) != 0) {
        parsed.damaged = !bytes.empty();  // an empty file is merely new
        return parsed;
    }
    std::size_t at = kStoreMagic.size();
    while (at < bytes.size()) {
        const std::size_t left = bytes.size() - at;
        bool good = left >= kMarkerAndLength &&
                    std::memcmp(bytes.data() + at, kMarker.data(), kMarker.size()) == 0;
        std::uint32_t length = good ? Le32(bytes, at + 4) : 0;
        good =
            good && length <= kMaxBody && left - kMarkerAndLength >= std::size_t{length} + kCrcSize;
        StoreRecord record;
        if (good) {
            const auto body = bytes.subspan(at + kMarkerAndLength, length);
            good = Crc32(body) == Le32(bytes, at + kMarkerAndLength + length) &&
                   ParseBody(body, record);
        }
        if (!good) {
            parsed.damaged = true;
            at = NextMarker(bytes, at + 1);
            continue;
        }
        SetRecord(parsed.records, std::move(record));
        at += kMarkerAndLength + length + kCrcSize;
    }
    return parsed;
}

std::string SerializeStore(const std::vector<StoreRecord>& records) {
    std::string out(kStoreMagic);
    for (const StoreRecord& record : records) {
        std::string body;
        PutLe32(body, record.root);
        PutLe32(body, record.type);
        for (const std::string* text : {&record.key, &record.name, &record.data}) {
            PutLe32(body, static_cast<std::uint32_t>(text->size()));
            body += *text;
        }
        out.append(reinterpret_cast<const char*>(kMarker.data()), kMarker.size());
        PutLe32(out, static_cast<std::uint32_t>(body.size()));
        out += body;
        PutLe32(out,
                Crc32(std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size())));
    }
    return out;
}

}  // namespace dravolin::lnx

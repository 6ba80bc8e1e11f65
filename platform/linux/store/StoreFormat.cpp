#include "platform/linux/store/StoreFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <unordered_map>
#include "platform/linux/store/StoreChecksum.h"

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

// Where the fields of a body lie, found without copying them.
struct BodyLayout {
    std::uint32_t root = 0;
    std::uint32_t type = 0;
    std::array<std::size_t, 3> at{};  // key, name, data
    std::array<std::size_t, 3> length{};
};

// The layout when the fields fill the body exactly.
std::optional<BodyLayout> LayOut(std::span<const std::uint8_t> body) {
    BodyLayout layout;
    if (body.size() < 8) return std::nullopt;
    layout.root = Le32(body, 0);
    layout.type = Le32(body, 4);
    std::size_t at = 8;
    for (std::size_t field = 0; field < 3; ++field) {
        if (body.size() - at < 4) return std::nullopt;
        const std::size_t length = Le32(body, at);
        at += 4;
        if (body.size() - at < length) return std::nullopt;
        layout.at[field] = at;
        layout.length[field] = length;
        at += length;
    }
    if (at != body.size()) return std::nullopt;
    return layout;
}

std::size_t NextMarker(std::span<const std::uint8_t> bytes, std::size_t from, ParseWork& work) {
    const auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                                kMarker.begin(), kMarker.end());
    const auto found = static_cast<std::size_t>(it - bytes.begin());
    work.steps += found - from;
    return found;
}

// The end of the intact record that starts at `at`, which it puts into `record`; 0 when
// none starts there.
std::size_t ReadRecord(std::span<const std::uint8_t> bytes, std::size_t at,
                       const StretchChecksums& checksums, StoreRecord& record, ParseWork& work) {
    const std::size_t left = bytes.size() - at;
    if (left < kMarkerAndLength ||
        std::memcmp(bytes.data() + at, kMarker.data(), kMarker.size()) != 0) {
        return 0;
    }
    const std::uint32_t length = Le32(bytes, at + kMarker.size());
    if (length > kMaxBody || left - kMarkerAndLength < std::size_t{length} + kCrcSize) return 0;
    const std::size_t bodyAt = at + kMarkerAndLength;
    const std::span<const std::uint8_t> body = bytes.subspan(bodyAt, length);
    const std::optional<BodyLayout> layout = LayOut(body);
    if (!layout || checksums.Of(bodyAt, length) != Le32(bytes, bodyAt + length)) return 0;

    const auto text = [&](std::size_t field) {
        return std::string(reinterpret_cast<const char*>(body.data() + layout->at[field]),
                           layout->length[field]);
    };
    record = {layout->root, text(0), text(1), layout->type, text(2)};
    work.steps += length;
    return bodyAt + length + kCrcSize;
}

// The records read so far by what names them: root, key and value name, letter case folded.
// A later record of the same name replaces the data of the earlier one in its place.
class RecordIndex {
  public:
    void Add(std::vector<StoreRecord>& records, StoreRecord record, ParseWork& work) {
        std::string identity;
        PutLe32(identity, record.root);
        PutLe32(identity, static_cast<std::uint32_t>(record.key.size()));
        for (const std::string* text : {&record.key, &record.name}) {
            std::transform(text->begin(), text->end(), std::back_inserter(identity), LowerAscii);
        }
        work.steps += identity.size();
        const auto [it, added] = positions_.try_emplace(std::move(identity), records.size());
        if (added) {
            records.push_back(std::move(record));
            return;
        }
        StoreRecord& earlier = records[it->second];
        earlier.type = record.type;
        earlier.data = std::move(record.data);
    }

  private:
    std::unordered_map<std::string, std::size_t> positions_;
};

}  // namespace

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

ParsedStore ParseStore(std::span<const std::uint8_t> bytes, ParseWork* work) {
    ParseWork ignored;
    ParseWork& cost = work ? *work : ignored;
    ParsedStore parsed;
    if (bytes.empty()) return parsed;  // merely new
    const bool headed = bytes.size() >= kStoreMagic.size() &&
                        std::memcmp(bytes.data(), kStoreMagic.data(), kStoreMagic.size()) == 0;
    // A damaged header hides nothing: the records are found by their markers, as after any
    // other damage.
    parsed.damaged = !headed;
    const StretchChecksums checksums(bytes, cost.steps);
    RecordIndex index;
    std::size_t at = headed ? kStoreMagic.size() : NextMarker(bytes, 0, cost);
    while (at < bytes.size()) {
        StoreRecord record;
        const std::size_t end = ReadRecord(bytes, at, checksums, record, cost);
        if (end == 0) {
            parsed.damaged = true;
            at = NextMarker(bytes, at + 1, cost);
            continue;
        }
        index.Add(parsed.records, std::move(record), cost);
        at = end;
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

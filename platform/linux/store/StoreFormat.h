#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::lnx {

// One value of the per-user store: where it lives, its type and its exact bytes.
struct StoreRecord {
    std::uint32_t root = 0;  // the registry root's number, e.g. 0x80000001 for the user's
    std::string key;
    std::string name;
    std::uint32_t type = 0;
    std::string data;
    friend bool operator==(const StoreRecord&, const StoreRecord&) = default;
};

// The file's layout (all numbers little-endian):
//   magic "DRVSTOR" followed by the format version byte 1
//   records, each: marker D7 'R' 'E' 'C', u32 body length, body, u32 CRC-32 of the body
//   body: u32 root, u32 type, u32 key length, key, u32 name length, name, u32 data length, data
// The marker lets a reader find the next record after a damaged one, or the first after a
// damaged header.
inline constexpr std::string_view kStoreMagic{"DRVSTOR\x01", 8};

struct ParsedStore {
    std::vector<StoreRecord> records;  // in file order; a later duplicate replaced an earlier
    bool damaged = false;  // anything was wrong: foreign file, bad record, truncation, garbage
};

// The work a parse did, in elementary steps (a byte looked at, a name compared, a step of the
// checksum arithmetic), so that a test can check it grows in proportion to the file.
struct ParseWork {
    std::uint64_t steps = 0;
};

// Reads what can be read; never fails, never reads out of bounds.
ParsedStore ParseStore(std::span<const std::uint8_t> bytes, ParseWork* work = nullptr);
std::string SerializeStore(const std::vector<StoreRecord>& records);

// Key and value names compare as in the Windows registry: ignoring ASCII letter case.
bool SameName(std::string_view a, std::string_view b);

// The record of (root, key, name), or null.
StoreRecord* FindRecord(std::vector<StoreRecord>& records, std::uint32_t root, std::string_view key,
                        std::string_view name);
// Sets a value; an existing record keeps the letter case of its key and name.
void SetRecord(std::vector<StoreRecord>& records, StoreRecord record);
// False when there was no such value.
bool EraseRecord(std::vector<StoreRecord>& records, std::uint32_t root, std::string_view key,
                 std::string_view name);

}  // namespace dravolin::lnx

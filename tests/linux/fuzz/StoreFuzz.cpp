// Feeds the store reader each input twice. Any violation traps.
//
// As raw bytes: whatever it reads must survive a write and a second read unchanged, a file
// written from it must read back clean, and no two records share a name.
//
// As a recipe: records made from the input are written, then some are damaged (a byte changed,
// a shorter length, garbage over them), garbage goes between them, the header may be damaged
// and the file cut. The reader must return exactly the records that were spared, in order,
// and call the file damaged exactly when it is not a clean store of them. That is exact
// because the byte that starts a record marker occurs nowhere but in the markers the recipe
// writes: no record can be read out of damage or across a spared one, and a damaged record
// fails its checksum, which sees any change of one byte.
#include <fuzzer/FuzzedDataProvider.h>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>
#include "platform/linux/store/StoreFormat.h"

namespace {

using dravolin::lnx::ParsedStore;
using dravolin::lnx::ParseStore;
using dravolin::lnx::SerializeStore;
using dravolin::lnx::StoreRecord;

constexpr char kMarkerStart = '\xD7';

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void CheckRawBytes(const std::uint8_t* data, std::size_t size) {
    const ParsedStore first = ParseStore({data, size});
    const std::string written = SerializeStore(first.records);
    const ParsedStore second = ParseStore(Bytes(written));
    Check(!second.damaged);
    Check(second.records == first.records);
    Check(SerializeStore(second.records) == written);
    for (std::size_t i = 0; i < first.records.size(); ++i) {
        for (std::size_t k = i + 1; k < first.records.size(); ++k) {
            const StoreRecord& a = first.records[i];
            const StoreRecord& b = first.records[k];
            Check(!(a.root == b.root && dravolin::lnx::SameName(a.key, b.key) &&
                    dravolin::lnx::SameName(a.name, b.name)));
        }
    }
}

// Bytes that can start no marker.
std::string Clean(std::string text) {
    for (char& c : text) {
        if (c == kMarkerStart) c = 'x';
    }
    return text;
}

std::uint32_t Clean(std::uint32_t number) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (((number >> shift) & 0xFFu) == 0xD7u) number ^= 1u << shift;
    }
    return number;
}

// `old` changed, never into a marker's first byte.
char Changed(char old, std::uint8_t by) {
    char changed = static_cast<char>(old ^ by);
    if (changed == kMarkerStart) changed = static_cast<char>(old ^ (by == 1 ? 2 : 1));
    return changed;
}

// The record as the store writes it, without the file's header, its only marker byte the
// first; the data grows until its length and checksum hold none. Empty if that fails.
std::string Written(StoreRecord& record) {
    for (int attempt = 0; attempt < 64; ++attempt) {
        const std::string bytes =
            SerializeStore({record}).substr(dravolin::lnx::kStoreMagic.size());
        if (bytes.find(kMarkerStart, 1) == std::string::npos) return bytes;
        record.data += 'x';
    }
    return {};
}

struct Piece {
    std::string bytes;
    bool intact = false;  // a record, not damaged
    StoreRecord record;
};

void CheckDamagedStore(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<Piece> pieces;
    const int count = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < count; ++i) {
        if (in.ConsumeBool())
            pieces.push_back({Clean(in.ConsumeRandomLengthString(24)), false, {}});
        Piece piece;
        StoreRecord& record = piece.record;
        record.root = Clean(in.ConsumeIntegral<std::uint32_t>());
        record.type = Clean(in.ConsumeIntegral<std::uint32_t>());
        record.key = Clean(in.ConsumeRandomLengthString(40));
        // Names differ whatever the letter case: each ends in "#" and its number.
        std::string name = Clean(in.ConsumeRandomLengthString(16));
        std::erase(name, '#');
        record.name = name + "#" + std::to_string(i);
        record.data = Clean(in.ConsumeRandomLengthString(200));
        piece.bytes = Written(record);
        if (piece.bytes.empty()) continue;
        piece.intact = true;
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 1: {  // one byte changed, anywhere but the length
                std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, piece.bytes.size() - 5);
                if (at >= 4) at += 4;
                piece.bytes[at] =
                    Changed(piece.bytes[at], in.ConsumeIntegralInRange<std::uint8_t>(1, 255));
                piece.intact = false;
                break;
            }
            case 2: {  // a shorter length
                const std::uint32_t length = static_cast<std::uint32_t>(piece.bytes.size() - 12);
                const std::uint32_t shorter =
                    in.ConsumeIntegralInRange<std::uint32_t>(0, length - 1);
                for (int b = 0; b < 4; ++b)
                    piece.bytes[4 + b] = static_cast<char>(shorter >> (8 * b));
                piece.intact = false;
                break;
            }
            case 3:  // garbage over it
                piece.bytes = Clean(in.ConsumeRandomLengthString(piece.bytes.size() * 2));
                piece.intact = false;
                break;
            default:
                break;
        }
        pieces.push_back(std::move(piece));
    }

    std::string file(dravolin::lnx::kStoreMagic);
    if (in.ConsumeBool()) {
        const std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, file.size() - 1);
        file[at] = Changed(file[at], in.ConsumeIntegralInRange<std::uint8_t>(1, 255));
    }
    std::vector<std::size_t> ends;
    for (const Piece& piece : pieces) {
        file += piece.bytes;
        ends.push_back(file.size());
    }
    const std::size_t cut =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<std::size_t>(0, file.size()) : file.size();
    file.resize(cut);
    std::vector<StoreRecord> spared;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].intact && ends[i] <= cut) spared.push_back(pieces[i].record);
    }

    const ParsedStore parsed = ParseStore(Bytes(file));
    Check(parsed.records == spared);
    Check(parsed.damaged == (!file.empty() && file != SerializeStore(spared)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckRawBytes(data, size);
    CheckDamagedStore(data, size);
    return 0;
}

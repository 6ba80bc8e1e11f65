#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>
#include "archive/BagRecord.h"

namespace dravolin::archive {

// How an archive copy steps past what a disc cannot read. A read that fails is tried once
// more; a region that still fails is read in steps, and a step that fails twice is written as
// zeros, recorded as damaged, and skipped.
//
// A step is at least 32 KiB and ends on a 2048-byte sector: 16 sectors, what tools of the
// field skip after an error. A drive's firmware already retries each sector; more tries cost
// minutes.
inline constexpr std::uint64_t kRecoveryStep = 32u << 10;
inline constexpr std::uint64_t kSector = 2048;
// What is read at once while reads succeed.
inline constexpr std::size_t kReadBlock = 1u << 20;

// Where a step from `pos` ends: at least kRecoveryStep on, on a sector's end, not past `size`.
constexpr std::uint64_t StepEnd(std::uint64_t pos, std::uint64_t size) {
    const std::uint64_t end = (pos + kRecoveryStep + kSector - 1) / kSector * kSector;
    return std::min(end, size);
}

// Notes [begin, end) as damaged, joined to the last range when they meet.
inline void AddDamage(std::vector<ByteRange>& damaged, std::uint64_t begin, std::uint64_t end) {
    if (!damaged.empty() && damaged.back().end == begin) {
        damaged.back().end = end;
    } else {
        damaged.push_back(ByteRange{begin, end});
    }
}

// The two ends of one file's archive copy, as a platform has them. The copy writes in order,
// from the file's start.
class CopyEnds {
  public:
    virtual ~CopyEnds() = default;
    // Where the next read goes: room for `length` bytes (at most kReadBlock), kept until the
    // next call.
    virtual char* Buffer(std::size_t length) = 0;
    // Bytes read at `pos` (0 at the file's end), or nothing when the read failed.
    virtual std::optional<std::size_t> Read(std::uint64_t pos, char* buffer,
                                            std::size_t length) = 0;
    // Writes `length` bytes at `pos` of the copy and hashes them; `bytes` is the last Buffer
    // or zeros. False: writing failed, and the copy ends there.
    virtual bool Put(std::uint64_t pos, const char* bytes, std::size_t length) = 0;
    // After each block written: false stops the copy.
    virtual bool Written(std::size_t length) = 0;
};

struct RecoveredBytes {
    enum class End { Done, Stopped, WriteFailed };
    End end = End::Done;
    std::vector<ByteRange> damaged;  // in order, adjacent ones joined
};

// Copies `size` bytes from one end to the other by the rule above. A file that ends before
// `size` is zeros from there, recorded too: the copy always holds `size` bytes when Done.
RecoveredBytes CopyRecovering(CopyEnds& ends, std::uint64_t size);

}  // namespace dravolin::archive

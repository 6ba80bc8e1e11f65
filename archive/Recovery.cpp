#include "archive/Recovery.h"

namespace dravolin::archive {

RecoveredBytes CopyRecovering(CopyEnds& ends, std::uint64_t size) {
    RecoveredBytes result;
    std::vector<char> zeros;
    const auto put = [&](std::uint64_t at, const char* bytes, std::size_t length) {
        if (!ends.Put(at, bytes, length)) {
            result.end = RecoveredBytes::End::WriteFailed;
            return false;
        }
        if (!ends.Written(length)) {
            result.end = RecoveredBytes::End::Stopped;
            return false;
        }
        return true;
    };
    std::uint64_t pos = 0;
    // Up to here a large read failed: it is read in steps, so that only the steps that fail
    // become zeros.
    std::uint64_t carefulUntil = 0;
    while (pos < size) {
        const bool careful = pos < carefulUntil;
        const std::uint64_t end = careful ? StepEnd(pos, size) : std::min(size, pos + kReadBlock);
        const auto want = static_cast<std::size_t>(end - pos);
        char* const buffer = ends.Buffer(want);
        std::optional<std::size_t> got = ends.Read(pos, buffer, want);
        if (!got) got = ends.Read(pos, buffer, want);
        if (got && *got > 0) {
            const std::size_t length = std::min(*got, want);
            if (!put(pos, buffer, length)) return result;
            pos += length;
            continue;
        }
        if (!got && !careful && want > kRecoveryStep) {
            carefulUntil = end;
            continue;
        }
        // A failed step, or the file ends before its size: what cannot be read is zeros.
        const std::uint64_t skipTo = got ? size : StepEnd(pos, size);
        if (zeros.empty()) zeros.resize(kRecoveryStep + kSector);
        for (std::uint64_t at = pos; at < skipTo;) {
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), skipTo - at));
            if (!put(at, zeros.data(), length)) return result;
            at += length;
        }
        AddDamage(result.damaged, pos, skipTo);
        pos = skipTo;
    }
    return result;
}

}  // namespace dravolin::archive

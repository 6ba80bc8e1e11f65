#include "archive/SameDisc.h"

namespace dravolin::archive {

DiscDecision Decide(std::span<const LogRow> rows, std::uint32_t fingerprint) {
    if (fingerprint == 0) return {};
    for (const LogRow& row : rows) {
        if (row.fingerprint == fingerprint && row.result == DiscResult::Complete) {
            return {false, row.bagFolder};
        }
    }
    return {};
}

}  // namespace dravolin::archive

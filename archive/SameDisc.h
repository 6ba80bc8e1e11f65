#pragma once
#include <cstdint>
#include <span>
#include <string>
#include "archive/ArchiveLog.h"

namespace dravolin::archive {

// Whether a disc just inserted is copied. A disc is archived once its fingerprint has a complete
// bag in the target's log; a disc whose earlier bags are all incomplete is copied again, since
// another drive may read it better. An unknown fingerprint (0) never counts as archived: two
// unrelated discs share it.
struct DiscDecision {
    bool copy = true;
    std::string archivedIn;  // when not copied: the folder of the complete bag the log names
};

DiscDecision Decide(std::span<const LogRow> rows, std::uint32_t fingerprint);

}  // namespace dravolin::archive

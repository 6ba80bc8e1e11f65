#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include "archive/ArchiveLog.h"

namespace dravolin::archive {

// Whether a disc just inserted is copied. A disc is known by its label together with its
// identity: a SHA-256 over what the disc says of itself (the ISO 9660 volume descriptors and
// root folder, the UDF anchor and volume descriptors), or, for a folder that is no disc, over
// its whole content. The 32-bit fingerprint only names bags: discs that differ in a few bytes,
// and every empty folder, share one.
//
// A disc is archived once the target holds a complete bag of it: a "complete" row of the log
// with the same label and identity, or a complete bag whose bag-info.txt says so (its row may
// be missing: the program was stopped between the bag's rename and its row). A disc whose
// earlier bags are all incomplete is copied again, since another drive may read it better. A
// disc without an identity (unknown, or a row written before identities were kept) never counts
// as archived: a row that cannot tell two discs apart must not keep one from being copied.
//
// A disc to be copied whose latest bag in the target is incomplete is read on from that bag:
// what its read got is kept, only what it lacks is read again. The bags themselves tell, not the
// log: a bag read on from is replaced, and its row then names a folder that is gone.
struct DiscDecision {
    bool copy = true;
    std::string archivedIn;  // when not copied: the folder of the complete bag
    // When not copied because of a bag the log has no row for: the row it should have had.
    std::optional<LogRow> missingRow;
    // When copied: the disc's latest incomplete bag, as its bag-info.txt describes it.
    std::optional<LogRow> earlier;
};

DiscDecision Decide(std::span<const LogRow> rows, std::span<const LogRow> bagsInTarget,
                    std::string_view label, std::string_view identity);

// The row a bag found in the target stands for, from its folder name and its bag-info.txt:
// nullopt unless the bag says it is complete or incomplete and names the disc's identity. Never
// throws.
std::optional<LogRow> RowOfBag(std::string folderName, std::string_view bagInfo);

// Where in the target's claims file a disc is claimed: the byte at the identity's first 15 hex
// digits (60 bits), so that two discs share one only by chance, and then one merely waits for
// the other. Every program that archives into a folder must pick the same byte.
std::uint64_t ClaimByte(std::string_view identity);
// The byte of the claims file that the writers of the folder's page take turns on: beyond every
// disc's, and the same in every program.
inline constexpr std::uint64_t kPageTurnByte = std::uint64_t{1} << 61;

}  // namespace dravolin::archive

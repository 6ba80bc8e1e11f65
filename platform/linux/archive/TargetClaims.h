#pragma once
#include <string>
#include <string_view>
#include <vector>
#include "platform/Archiver.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx {

// The file in a target folder whose byte ranges stand for discs: a disc is claimed by an open
// file description (OFD) write lock on the one byte its identity picks, so that every drive of
// every program archiving into the folder (and, on a network file system that passes locks on,
// every machine) claims it in the same place. The file stays empty and is never removed: a lock
// on a file that another program removes and makes anew would claim nothing.
inline constexpr char kClaimsFileName[] = ".dravolin-claims";

// Claims the disc `identity` (hex digits) in `target`, waiting while anybody else holds it; the
// claim lasts while the returned descriptor is open. Invalid when no claim can be made there
// (no such folder, the file cannot be made or opened, the file system keeps no locks).
UniqueFd ClaimDisc(const std::string& target, std::string_view identity);

// The bag-info.txt of each folder in `target` that has one, by the folder's name. Temporary bags
// (dot names) and links are passed over; what cannot be read is left out.
std::vector<Archiver::BagInfoText> ReadBagInfos(const std::string& target);

}  // namespace dravolin::lnx

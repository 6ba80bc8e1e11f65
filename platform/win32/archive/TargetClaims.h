#pragma once
#include <string>
#include <string_view>
#include <vector>
#include "platform/Archiver.h"
#include "platform/win32/Handles.h"

namespace dravolin::win32 {

// The file in a target folder whose bytes stand for discs: a disc is claimed by a lock
// (LockFileEx) on the one byte its identity picks, the same byte the Linux program locks in the
// same file, so every drive of every program archiving into the folder claims it in one place.
// The file stays empty and is never removed.
inline constexpr wchar_t kClaimsFileName[] = L".dravolin-claims";

// Claims the disc `identity` (hex digits) in `target` (wide, no trailing backslash), waiting
// while anybody else holds it; the claim lasts while the handle is open. Invalid when no claim
// can be made there.
UniqueHandle ClaimDisc(const std::wstring& target, std::string_view identity);

// The turn of one writer of `target`'s archive page: a lock on the byte at 2^61 of the claims
// file, the one the Linux program takes for its page, beyond every byte a disc's claim reaches
// (below 2^60), waiting while another writer has it; the turn lasts while the handle is open.
// Invalid where the folder keeps no locks.
UniqueHandle TakePageTurn(const std::wstring& target);

// The bag-info.txt of each folder in `target` that has one, by the folder's name in UTF-8.
// Temporary bags (dot names) and links are passed over; what cannot be read is left out.
std::vector<Archiver::BagInfoText> ReadBagInfos(const std::wstring& target);

// The identity of the volume at `root` ("E:\"), for the same-disc rule, from what Windows tells
// of it: a SHA-256 over its serial, label, file system, size and its root folder's entries
// (names, attributes, sizes, times). Empty when the volume or its root cannot be read.
std::string VolumeDigest(const std::wstring& root);

}  // namespace dravolin::win32

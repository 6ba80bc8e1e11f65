#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::archive {

// Tag files are UTF-8 (RFC 8493), and readers refuse a bag whose tag files are not; a disc's
// names and labels are whatever bytes its authoring tool wrote (Latin-1 Rock Ridge names, a
// folder label), so what reaches a tag file is made UTF-8 here.

// The length of the well-formed UTF-8 sequence at `at` (1 to 4), or 0 where the byte there
// starts none (a stray continuation, an overlong form, a surrogate, beyond U+10FFFF, cut off).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at);
bool IsUtf8(std::string_view text);

// `text` with each byte that starts no well-formed sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// The names the entries of one folder are stored under in a bag, in the order given: a name
// that is UTF-8 stays; any other becomes ValidUtf8 of it, with " (2)", " (3)"… before its
// extension when that is taken by another entry of the folder (names that stay are taken
// first, so a renamed entry never takes the name of one kept).
std::vector<std::string> StoredUtf8Names(const std::vector<std::string>& names);

}  // namespace dravolin::archive

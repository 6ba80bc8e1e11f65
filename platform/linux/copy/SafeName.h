#pragma once
#include <string_view>

namespace dravolin::lnx {

// Whether a directory entry's name may be created in the target: a single path component,
// never "." or "..", no separator and no NUL: anything else could climb out of the folder. Nor
// a name of the copy's own temporary files, which a later copy would take for a leftover.
bool IsSafeEntryName(std::string_view name);

}  // namespace dravolin::lnx

#pragma once
#include <string_view>

namespace dravolin::lnx {

// Whether a directory entry's name may be created in the target: a single path component,
// never "." or "..", no separator and no NUL. Anything else could climb out of the folder.
bool IsSafeEntryName(std::string_view name);

}  // namespace dravolin::lnx

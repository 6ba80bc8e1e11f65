#pragma once
#include <string>

namespace dravolin::lnx {

// Creates `path` and its missing parents (mode 0777 less the umask). 0, or the errno of the
// step that failed; ENOTDIR when something that is not a folder stands in the way.
int MakeFolders(const std::string& path);

}  // namespace dravolin::lnx

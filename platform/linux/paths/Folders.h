#pragma once
#include <string>
#include <vector>

namespace dravolin::lnx {

// Creates `path` and its missing parents (mode 0777 less the umask). 0, or the errno of the
// step that failed; ENOTDIR when something that is not a folder stands in the way. A failure
// leaves none of the folders this call made. `made`, when given, receives the folders made,
// outermost first.
int MakeFolders(const std::string& path, std::vector<std::string>* made = nullptr);

// Removes the folders `made` (as MakeFolders gave them), innermost first, as far as they are
// still empty.
void RemoveFolders(const std::vector<std::string>& made);

}  // namespace dravolin::lnx

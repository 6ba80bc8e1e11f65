#include "platform/linux/copy/SafeName.h"

#include "platform/linux/copy/TempFiles.h"

namespace dravolin::lnx {

bool IsSafeEntryName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos &&
           !LooksLikeTempName(name);
}

}  // namespace dravolin::lnx

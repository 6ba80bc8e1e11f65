#include "engine/DriveEntry.h"

namespace dravolin {

std::string DrivePath(const char* pattern, char letter) {
    std::string path(pattern);
    for (char& c : path) {
        if (c == '$') c = letter;
    }
    return path;
}

}  // namespace dravolin

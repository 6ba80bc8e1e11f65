#include <unistd.h>
#include <filesystem>
#include <system_error>
#include "platform/linux/order/ReadApart.h"

namespace dravolin::lnx {

namespace {

// The folders above the program's own that may hold libexec/: its parent (installed, and the
// guest suites' copy), and two more for the build tree (build/dev/tests/linux/...).
constexpr int kFoldersUp = 3;

}  // namespace

std::optional<std::string> FindLayoutHelper() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty()) return std::nullopt;
    std::filesystem::path folder = program.parent_path();
    for (int up = 0; up < kFoldersUp && folder.has_relative_path(); ++up) {
        folder = folder.parent_path();
        const std::filesystem::path helper = folder / "libexec" / "dravolin" / kLayoutHelperName;
        if (::access(helper.c_str(), X_OK) == 0) return helper.string();
    }
    return std::nullopt;
}

}  // namespace dravolin::lnx

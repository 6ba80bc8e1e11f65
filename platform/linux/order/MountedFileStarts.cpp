#include "platform/linux/order/MountedFileStarts.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <cstdlib>
#include <cstring>
#include "platform/linux/mount/MountTable.h"
#include "platform/linux/order/ReadApart.h"

namespace dravolin::lnx {

namespace {

// Long enough for a drive to read the directories of a disc of thousands of folders again
// (mostly from the cache: the scan has just read them), short enough that a disc the library
// cannot finish with delays its copy by no more than this.
constexpr std::chrono::seconds kReadingTime{60};

bool IsBlockDevice(const std::string& path, dev_t device) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == device;
}

}  // namespace

bool NameOrderAsked() {
    const char* order = std::getenv("DRAVOLIN_COPY_ORDER");
    return order && std::strcmp(order, "name") == 0;
}

std::optional<FileStarts> MountedFileStarts(const std::string& folder, std::uint64_t maxEntries) {
    struct stat root {};
    if (::stat(folder.c_str(), &root) != 0) return std::nullopt;
    for (const MountEntry& entry : ReadMountInfo("/proc/self/mountinfo")) {
        if (entry.root != "/" || makedev(entry.major, entry.minor) != root.st_dev) continue;
        // The folder must be the mount's own root: the paths the library reads start there.
        struct stat point {};
        if (::stat(entry.mountPoint.c_str(), &point) != 0 || point.st_dev != root.st_dev ||
            point.st_ino != root.st_ino) {
            continue;
        }
        // The mount's source is only a name its mounter chose; the device number decides.
        std::string device = entry.source;
        if (!IsBlockDevice(device, root.st_dev)) {
            device =
                "/dev/block/" + std::to_string(entry.major) + ":" + std::to_string(entry.minor);
            if (!IsBlockDevice(device, root.st_dev)) return std::nullopt;
        }
        if (entry.fsType != "iso9660" && entry.fsType != "udf") return std::nullopt;
        const std::optional<std::string> helper = FindLayoutHelper();
        if (!helper) return std::nullopt;
        return ReadApart(*helper, entry.fsType, device, maxEntries, kReadingTime);
    }
    return std::nullopt;
}

}  // namespace dravolin::lnx

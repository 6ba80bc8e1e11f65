#include "platform/linux/order/ImageTree.h"

#include <fcntl.h>
#include "platform/linux/drives/FileSystemProbe.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/order/ReadApart.h"

namespace dravolin::lnx {

namespace {

// As many entries as a copy of a mounted disc takes.
constexpr std::uint64_t kTreeMaxEntries = 1'000'000;
// The directories of an image on the target's disk, read from its cache: seconds, even for a
// disc of many thousand files; the rest bounds a disc that lies.
constexpr std::chrono::seconds kTreeReadingTime{120};

}  // namespace

std::optional<DiscTree> ReadImageTree(const std::string& path, std::uint64_t sessionOffset) {
    const std::optional<std::string> helper = FindLayoutHelper();
    if (!helper) return std::nullopt;
    std::optional<ProbedFileSystem> probed;
    if (const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)); fd) {
        probed = ProbeFileSystem(fd.Get(), sessionOffset);
    }
    if (!probed || (probed->type != "iso9660" && probed->type != "udf")) return std::nullopt;
    // A session of an ISO 9660 disc begins on a whole block; no other file system has any.
    if (sessionOffset % 2048 != 0 || (sessionOffset != 0 && probed->type != "iso9660")) {
        return std::nullopt;
    }
    return ReadTreeApart(*helper, probed->type, path, kTreeMaxEntries, kTreeReadingTime,
                         sessionOffset / 2048);
}

}  // namespace dravolin::lnx

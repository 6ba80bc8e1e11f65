#include "platform/linux/drives/FileSystemProbe.h"

#include <blkid.h>
#include <cstring>
#include <memory>
#include <span>
#include "platform/linux/drives/TextCodecs.h"

namespace dravolin::lnx {

namespace {

struct ProbeDeleter {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using ProbePtr = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter>;

// A value of the last probe, up to its first NUL; nullopt when the probe did not set it.
std::optional<std::string> Lookup(blkid_probe probe, const char* name) {
    const char* data = nullptr;
    std::size_t size = 0;
    if (blkid_probe_lookup_value(probe, name, &data, &size) != 0 || !data) return std::nullopt;
    // The size counts the terminating NUL.
    return std::string(data, ::strnlen(data, size));
}

}  // namespace

std::optional<ProbedFileSystem> ProbeFileSystem(int fd, std::uint64_t sessionOffset) {
    ProbePtr probe(blkid_new_probe());
    if (!probe) return std::nullopt;
    if (blkid_probe_set_device(probe.get(), fd, 0, 0) != 0) return std::nullopt;
    // Set after the device, which resets the hints; it replaces the one libblkid may have found
    // itself, so that the session read is the one the caller measured.
    if (blkid_probe_set_hint(probe.get(), "session_offset", sessionOffset) != 0) {
        return std::nullopt;
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
    if (blkid_do_safeprobe(probe.get()) != 0) return std::nullopt;

    std::optional<std::string> type = Lookup(probe.get(), "TYPE");
    if (!type) return std::nullopt;
    ProbedFileSystem found;
    found.type = std::move(*type);
    if (std::optional<std::string> label = Lookup(probe.get(), "LABEL")) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(label->data());
        found.label = Latin1OrUtf8(std::span<const std::uint8_t>(bytes, label->size()));
    }
    return found;
}

}  // namespace dravolin::lnx

#include "platform/linux/drives/VolumeReader.h"

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>
#include "platform/linux/drives/FileSystemProbe.h"
#include "platform/linux/io/Sha256.h"

namespace dravolin::lnx {

namespace {

constexpr std::uint64_t kSector = 2048;
constexpr std::uint64_t kFirstDescriptor = 16;  // ISO 9660 and the UDF recognition sequence
constexpr std::uint64_t kMaxDescriptors = 64;   // how far either sequence is followed
constexpr std::uint64_t kAnchorSector = 256;    // UDF anchor volume descriptor pointer
constexpr std::uint32_t kMaxVdsSectors = 64;    // a main volume descriptor sequence is short

using Sector = std::array<std::uint8_t, kSector>;

std::uint32_t Le32(const Sector& s, std::size_t at) {
    return std::uint32_t{s[at]} | std::uint32_t{s[at + 1]} << 8 | std::uint32_t{s[at + 2]} << 16 |
           std::uint32_t{s[at + 3]} << 24;
}

std::uint16_t Le16(const Sector& s, std::size_t at) {
    return static_cast<std::uint16_t>(s[at] | s[at + 1] << 8);
}

bool ReadSector(DiscBytes& disc, std::uint64_t offset, Sector& out) {
    return disc.Read(offset, out);
}

// FNV-1a, 32 bits: cheap, and every byte moves the result.
class Fnv32 {
  public:
    void Add(std::span<const std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) hash_ = (hash_ ^ b) * 16777619u;
    }
    std::uint32_t Value() const { return hash_; }

  private:
    std::uint32_t hash_ = 2166136261u;
};

struct IsoFindings {
    bool primary = false;
    Sector primaryBytes{};
    Sector rootFolder{};  // the first sector of the root folder: names, sizes and dates
};

IsoFindings ReadIso(DiscBytes& disc, std::uint64_t base) {
    IsoFindings found;
    Sector s;
    for (std::uint64_t i = 0; i < kMaxDescriptors && !found.primary; ++i) {
        if (!ReadSector(disc, base + (kFirstDescriptor + i) * kSector, s)) break;
        if (std::memcmp(&s[1], "CD001", 5) != 0) break;
        const std::uint8_t type = s[0];
        if (type == 255) break;   // set terminator
        if (s[6] != 1) continue;  // e.g. an ISO 9660:1999 enhanced descriptor
        if (type != 1) continue;
        found.primary = true;
        found.primaryBytes = s;
        // The root directory record sits at byte 156; its extent's location at byte 2. Like
        // every location on the disc it counts from the disc's start, not the session's.
        const std::uint64_t root = Le32(s, 156 + 2);
        if (!ReadSector(disc, root * kSector, found.rootFolder)) found.rootFolder.fill(0);
    }
    return found;
}

// A descriptor tag is trusted when its checksum adds up and it says where it stands.
bool TagValid(const Sector& s, std::uint16_t id, std::uint32_t location) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 16; ++i) {
        if (i != 4) sum = static_cast<std::uint8_t>(sum + s[i]);
    }
    return sum == s[4] && Le16(s, 0) == id && Le32(s, 12) == location;
}

bool HasUdfRecognition(DiscBytes& disc, std::uint64_t base) {
    Sector s;
    bool beginning = false;
    for (std::uint64_t i = 0; i < kMaxDescriptors; ++i) {
        if (!ReadSector(disc, base + (kFirstDescriptor + i) * kSector, s)) return false;
        const char* id = reinterpret_cast<const char*>(&s[1]);
        if (std::memcmp(id, "BEA01", 5) == 0) beginning = true;
        if (beginning && (std::memcmp(id, "NSR02", 5) == 0 || std::memcmp(id, "NSR03", 5) == 0)) {
            return true;
        }
        if (std::memcmp(id, "TEA01", 5) == 0) return false;
        const bool known = std::memcmp(id, "CD001", 5) == 0 || std::memcmp(id, "BEA01", 5) == 0 ||
                           std::memcmp(id, "BOOT2", 5) == 0 || std::memcmp(id, "CDW02", 5) == 0;
        if (!known) return false;
    }
    return false;
}

struct UdfFindings {
    bool found = false;
    Fnv32 hash;
};

UdfFindings ReadUdf(DiscBytes& disc, std::uint64_t base) {
    UdfFindings udf;
    if (!HasUdfRecognition(disc, base)) return udf;
    Sector s;
    // Tags carry their own location, counted from the disc's start like every extent.
    const std::uint64_t anchor = base / kSector + kAnchorSector;
    if (!ReadSector(disc, anchor * kSector, s)) return udf;
    if (!TagValid(s, 2, static_cast<std::uint32_t>(anchor))) return udf;
    const std::uint32_t length = Le32(s, 16);
    const std::uint32_t start = Le32(s, 20);
    const std::uint32_t sectors = std::min<std::uint32_t>(length / kSector, kMaxVdsSectors);
    bool primary = false, logical = false;
    for (std::uint32_t i = 0; i < sectors; ++i) {
        if (!ReadSector(disc, (std::uint64_t{start} + i) * kSector, s)) break;
        const std::uint16_t tag = Le16(s, 0);
        if (!TagValid(s, tag, start + i)) break;
        if (tag == 8) break;  // terminating descriptor
        if (tag == 1 && !primary) {
            primary = true;
            udf.hash.Add(s);
        } else if (tag == 6 && !logical) {
            logical = true;
            udf.hash.Add(s);
        }
    }
    udf.found = primary || logical;
    return udf;
}

std::uint32_t UsableSerial(std::uint32_t hash) {
    // 0 means "no volume" to the core and all bits set means "not looked at yet".
    if (hash == 0) return 1;
    if (hash == 0xFFFFFFFFu) return 0xFFFFFFFEu;
    return hash;
}

// Hashes the extent of `bytes` bytes at `sector`, at most kMaxExtentSectors of it: a root folder
// or path table of a real disc fits, and a forged length costs nothing.
constexpr std::uint64_t kMaxExtentSectors = 64;

bool HashExtent(DiscBytes& disc, Sha256& hash, std::uint64_t sector, std::uint64_t bytes) {
    const std::uint64_t sectors = std::min((bytes + kSector - 1) / kSector, kMaxExtentSectors);
    Sector s;
    for (std::uint64_t i = 0; i < sectors; ++i) {
        if (!ReadSector(disc, (sector + i) * kSector, s)) return false;
        hash.Update(s.data(), s.size());
    }
    return true;
}

// Every ISO 9660 volume descriptor to the terminator, and the primary one's root folder and
// path table: names, sizes, dates and places of what the disc holds. Nullopt when a descriptor
// names something that cannot be read.
std::optional<bool> HashIso(DiscBytes& disc, std::uint64_t base, Sha256& hash) {
    Sector s;
    bool found = false, primary = false;
    for (std::uint64_t i = 0; i < kMaxDescriptors; ++i) {
        if (!ReadSector(disc, base + (kFirstDescriptor + i) * kSector, s)) break;
        if (std::memcmp(&s[1], "CD001", 5) != 0) break;
        found = true;
        hash.Update(s.data(), s.size());
        if (s[0] == 255) break;
        if (s[0] != 1 || s[6] != 1 || primary) continue;
        primary = true;
        if (!HashExtent(disc, hash, Le32(s, 156 + 2), Le32(s, 156 + 10)) ||
            !HashExtent(disc, hash, Le32(s, 140), Le32(s, 132))) {
            return std::nullopt;
        }
    }
    return found;
}

// The UDF anchor and the main volume descriptor sequence to its terminator: the volume set's
// unique id, the logical volume, the partitions.
std::optional<bool> HashUdf(DiscBytes& disc, std::uint64_t base, Sha256& hash) {
    if (!HasUdfRecognition(disc, base)) return false;
    Sector s;
    const std::uint64_t anchor = base / kSector + kAnchorSector;
    if (!ReadSector(disc, anchor * kSector, s) ||
        !TagValid(s, 2, static_cast<std::uint32_t>(anchor))) {
        return false;
    }
    hash.Update(s.data(), s.size());
    const std::uint32_t length = Le32(s, 16);
    const std::uint32_t start = Le32(s, 20);
    const std::uint32_t sectors = std::min<std::uint32_t>(length / kSector, kMaxVdsSectors);
    for (std::uint32_t i = 0; i < sectors; ++i) {
        if (!ReadSector(disc, (std::uint64_t{start} + i) * kSector, s)) return std::nullopt;
        const std::uint16_t tag = Le16(s, 0);
        if (!TagValid(s, tag, start + i)) break;
        hash.Update(s.data(), s.size());
        if (tag == 8) break;
    }
    return true;
}

}  // namespace

std::string ReadDiscDigest(DiscBytes& disc, std::uint64_t sessionOffset) {
    Sha256 hash;
    const std::optional<bool> iso = HashIso(disc, sessionOffset, hash);
    // A marker between the two, so that no ISO bytes can pass for UDF ones.
    hash.Update("UDF", 3);
    const std::optional<bool> udf = HashUdf(disc, sessionOffset, hash);
    if (!iso || !udf || (!*iso && !*udf)) return {};
    return hash.Finish();
}

bool FdDiscBytes::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool MemoryDiscBytes::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > image_.size() || out.size() > image_.size() - offset) return false;
    std::memcpy(out.data(), image_.data() + offset, out.size());
    return true;
}

std::optional<std::uint32_t> ReadDiscFingerprint(DiscBytes& disc, std::uint64_t sessionOffset) {
    const IsoFindings iso = ReadIso(disc, sessionOffset);
    const UdfFindings udf = ReadUdf(disc, sessionOffset);
    if (!iso.primary && !udf.found) return std::nullopt;

    Fnv32 hash;
    if (iso.primary) {
        hash.Add(iso.primaryBytes);
        hash.Add(iso.rootFolder);
    }
    const std::uint32_t udfHash = udf.hash.Value();
    const std::array<std::uint8_t, 4> udfBytes = {
        static_cast<std::uint8_t>(udfHash), static_cast<std::uint8_t>(udfHash >> 8),
        static_cast<std::uint8_t>(udfHash >> 16), static_cast<std::uint8_t>(udfHash >> 24)};
    if (udf.found) hash.Add(udfBytes);
    return UsableSerial(hash.Value());
}

std::optional<std::uint64_t> ReadVolumeSectors(DiscBytes& disc, std::uint64_t sessionOffset) {
    const IsoFindings iso = ReadIso(disc, sessionOffset);
    if (!iso.primary) return std::nullopt;
    return Le32(iso.primaryBytes, 80);  // the volume space size, both-endian: its LE half
}

std::optional<VolumeIdentity> ReadVolumeIdentity(int fd, std::uint64_t sessionOffset) {
    FdDiscBytes bytes(fd);
    const std::optional<std::uint32_t> serial = ReadDiscFingerprint(bytes, sessionOffset);
    if (!serial) return std::nullopt;
    std::optional<ProbedFileSystem> probed = ProbeFileSystem(fd, sessionOffset);
    if (!probed || (probed->type != "iso9660" && probed->type != "udf")) return std::nullopt;
    VolumeIdentity identity;
    identity.type = std::move(probed->type);
    identity.label = std::move(probed->label);
    identity.serial = *serial;
    identity.digest = ReadDiscDigest(bytes, sessionOffset);
    return identity;
}

std::string CutUtf8(std::string text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the start of the character that would be split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.erase(end);
    return text;
}

}  // namespace dravolin::lnx

#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace dravolin::lnx {

// Reads bytes of a disc at an absolute offset; false when the bytes cannot be had.
class DiscBytes {
  public:
    virtual ~DiscBytes() = default;
    virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// pread(2) on a descriptor the caller keeps open.
class FdDiscBytes : public DiscBytes {
  public:
    explicit FdDiscBytes(int fd) : fd_(fd) {}
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    int fd_;
};

// An image in memory (tests, fuzzing).
class MemoryDiscBytes : public DiscBytes {
  public:
    explicit MemoryDiscBytes(std::span<const std::uint8_t> image) : image_(image) {}
    bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    std::span<const std::uint8_t> image_;
};

// What the disc says about itself.
struct VolumeIdentity {
    std::string type;          // "iso9660" or "udf", as the desktop's probing names it
    std::string label;         // UTF-8, as the desktop shows it
    std::uint32_t serial = 0;  // never 0 and never 0xFFFFFFFF
    std::string digest;        // ReadDiscDigest's; empty when it cannot be had
};

// Our fingerprint of the session starting at `sessionOffset`, read from the ISO 9660 primary
// descriptor and the UDF volume descriptors: a hash of the descriptors that name the disc (the
// primary descriptor's volume name, size, creation and modification times and root folder
// location; the UDF primary and logical volume descriptors, which hold a unique volume-set id),
// so it changes with the disc. The first sector of the ISO root folder is hashed too, so that two
// discs mastered in the same second with the same name still differ by their files. Never 0 and
// never 0xFFFFFFFF. Nullopt when neither file system's descriptors are found.
std::optional<std::uint32_t> ReadDiscFingerprint(DiscBytes& disc, std::uint64_t sessionOffset = 0);

// The disc's identity for the same-disc rule (archive/SameDisc.h): the SHA-256, in lowercase
// hex, of every ISO 9660 volume descriptor with the primary one's root folder and path table,
// and of the UDF anchor and main volume descriptor sequence. Unlike the fingerprint, two discs
// that differ in any of these bytes never share it in practice. Empty when neither file system
// is found or a descriptor names bytes that cannot be read.
std::string ReadDiscDigest(DiscBytes& disc, std::uint64_t sessionOffset = 0);

// The size in sectors, counted from the disc's start, that the ISO 9660 primary descriptor of
// the session at `sessionOffset` gives its volume. Nullopt without one.
std::optional<std::uint64_t> ReadVolumeSectors(DiscBytes& disc, std::uint64_t sessionOffset = 0);

// The disc behind `fd` (a drive or an image file): its type and label as the desktop shows them
// (ProbeFileSystem), its serial from ReadDiscFingerprint. Nullopt when the disc carries no
// ISO 9660 or UDF file system (no disc, blank, audio, damaged descriptors).
std::optional<VolumeIdentity> ReadVolumeIdentity(int fd, std::uint64_t sessionOffset = 0);

// Cuts UTF-8 text to at most `maxBytes` bytes without splitting a character.
std::string CutUtf8(std::string text, std::size_t maxBytes);

}  // namespace dravolin::lnx

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
    std::string label;         // UTF-8, trailing blanks removed
    std::uint32_t serial = 0;  // never 0 and never 0xFFFFFFFF
    bool iso9660 = false;
    bool joliet = false;
    bool udf = false;
};

// Reads the ISO 9660 primary and Joliet supplementary descriptors and the UDF volume
// descriptors of the session starting at `sessionOffset`. The label is the UDF logical volume
// name where UDF is present, else the Joliet name, else the primary one, as the other desktop
// systems show them. The serial is a hash of the descriptors that name the disc: the primary
// descriptor (volume name, size, creation and modification times, root folder location) and
// the UDF primary and logical volume descriptors (which hold a unique volume-set id), so it
// changes with the disc. The first sector of the ISO root folder is hashed too, so that two
// discs mastered in the same second with the same name still differ by their files. Nullopt when
// neither file system is found (no disc, blank, audio).
std::optional<VolumeIdentity> ReadVolumeIdentity(DiscBytes& disc, std::uint64_t sessionOffset = 0);

// Cuts UTF-8 text to at most `maxBytes` bytes without splitting a character.
std::string CutUtf8(std::string text, std::size_t maxBytes);

}  // namespace dravolin::lnx

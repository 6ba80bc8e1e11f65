#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include "archive/AudioDisc.h"
#include "platform/linux/drives/CdromIo.h"

namespace dravolin::lnx {

// The table of contents of the disc behind `fd` as the kernel gives it (CDROMREADTOCHDR and
// CDROMREADTOCENTRY in LBA form): each track's start and kind, its length to the next track's
// start or the lead-out. Nullopt when the drive refuses any of it, the lead-out too: without it
// neither the last track's length nor an audio disc's identity is known.
std::optional<archive::DiscToc> ReadKernelToc(CdromIo& io, int fd);

// What names an audio CD, which has no volume to read a label and fingerprint from: the SHA-256
// (lowercase hex) of its table's identity text, as archive mode's same-disc rule takes it, and
// the fingerprint that comes from it, which stands for the volume's serial.
struct AudioIdentity {
    std::uint32_t serial;
    std::string digest;
};
// Only for a disc of audio tracks alone: a mixed disc is named by its data volume.
std::optional<AudioIdentity> AudioIdentityOf(const archive::DiscToc& toc);

// The label an audio CD goes by where the program's language is not known: Windows names such
// a volume so.
inline constexpr char kAudioCdLabel[] = "Audio CD";

}  // namespace dravolin::lnx

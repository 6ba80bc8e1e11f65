// A build without the audio libraries (the statically linked test guest, for which Debian
// ships no static libdiscid): no disc opens through libcdio, so an audio disc is handled as
// one without a file system, as before audio was read at all.
#include <cerrno>
#include "platform/linux/audio/AudioBag.h"
#include "platform/linux/audio/TrackRip.h"

namespace dravolin::lnx {

std::unique_ptr<CdioDisc> CdioDisc::Open(const std::string&) {
    return nullptr;
}

CdioDisc::~CdioDisc() = default;

std::optional<archive::DiscToc> CdioDisc::ReadToc() {
    return std::nullopt;
}

bool IsCdImageName(const std::string&) {
    return false;
}

std::string MusicBrainzDiscId(const archive::DiscToc&) {
    return {};
}

bool CdioSectors::Read(std::uint64_t, std::uint32_t, std::span<std::byte>) {
    return false;
}

AudioBagResult RipAudio(const AudioRead&, int, const std::function<bool(const CopyProgress&)>&) {
    AudioBagResult result;
    result.error = ENODEV;
    return result;
}

}  // namespace dravolin::lnx

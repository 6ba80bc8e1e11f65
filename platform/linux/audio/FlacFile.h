#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace dravolin::lnx {

// Vorbis comments, field name and UTF-8 value, in the order they are to appear.
using FlacTags = std::vector<std::pair<std::string, std::string>>;

// A FLAC file of CD audio (16-bit stereo at 44.1 kHz) written by libFLAC through a file
// descriptor, so that a failed write gives its errno rather than libFLAC's bare "I/O error".
class FlacFile {
  public:
    // Writes from `fd`'s offset (an empty file's start), which must seek: STREAMINFO is
    // written again at the end with the sample count and the MD5. `samples`: the expected count
    // per channel, for the header until then.
    FlacFile(int fd, std::uint64_t samples, const FlacTags& tags);
    ~FlacFile();
    FlacFile(const FlacFile&) = delete;
    FlacFile& operator=(const FlacFile&) = delete;

    // Whether the stream has begun (its header written).
    bool Started() const;
    // Interleaved left and right samples, whole stereo frames.
    bool Write(std::span<const std::int16_t> interleaved);
    // Ends the stream; false where that or anything before failed.
    bool Finish();
    // errno of the write or seek that failed; EIO where libFLAC failed on its own; else 0.
    int Error() const;
    // libFLAC's MD5 of the samples in lowercase hex, once Finish succeeded.
    const std::string& Md5() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace dravolin::lnx

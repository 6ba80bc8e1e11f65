#pragma once
// A FLAC file read back with libFLAC's own decoder.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dravolin::lnx::test {

struct DecodedFlac {
    bool ok = false;  // decoded to its end without an error
    unsigned channels = 0;
    unsigned bitsPerSample = 0;
    unsigned sampleRate = 0;
    std::uint64_t totalSamples = 0;           // per channel, as STREAMINFO says
    std::string md5;                          // STREAMINFO's, lowercase hex
    std::vector<std::int16_t> samples;        // interleaved, as decoded
    std::map<std::string, std::string> tags;  // Vorbis comments, the last of each name
};

DecodedFlac DecodeFlac(const std::string& path);

}  // namespace dravolin::lnx::test

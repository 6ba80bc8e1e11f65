#include "audio/FlacDecode.h"

#include <FLAC/stream_decoder.h>
#include <cstdio>
#include <memory>

namespace dravolin::lnx::test {

namespace {

struct FlacDecodeDelete {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};

FLAC__StreamDecoderWriteStatus FlacDecodeOnWrite(const FLAC__StreamDecoder*,
                                                 const FLAC__Frame* frame,
                                                 const FLAC__int32* const channels[], void* data) {
    auto* decoded = static_cast<DecodedFlac*>(data);
    for (unsigned i = 0; i < frame->header.blocksize; ++i) {
        for (unsigned channel = 0; channel < frame->header.channels; ++channel) {
            decoded->samples.push_back(static_cast<std::int16_t>(channels[channel][i]));
        }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacDecodeOnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block,
                          void* data) {
    auto* decoded = static_cast<DecodedFlac*>(data);
    if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
        const FLAC__StreamMetadata_StreamInfo& info = block->data.stream_info;
        decoded->channels = info.channels;
        decoded->bitsPerSample = info.bits_per_sample;
        decoded->sampleRate = info.sample_rate;
        decoded->totalSamples = info.total_samples;
        for (const FLAC__byte byte : info.md5sum) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", byte);
            decoded->md5 += hex;
        }
    } else if (block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
        const FLAC__StreamMetadata_VorbisComment& comments = block->data.vorbis_comment;
        for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
            const std::string entry(reinterpret_cast<const char*>(comments.comments[i].entry),
                                    comments.comments[i].length);
            const auto equals = entry.find('=');
            if (equals != std::string::npos) {
                decoded->tags[entry.substr(0, equals)] = entry.substr(equals + 1);
            }
        }
    }
}

void FlacDecodeOnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
    static_cast<DecodedFlac*>(data)->ok = false;
}

}  // namespace

DecodedFlac DecodeFlac(const std::string& path) {
    DecodedFlac decoded;
    const std::unique_ptr<FLAC__StreamDecoder, FlacDecodeDelete> decoder(
        FLAC__stream_decoder_new());
    if (!decoder) return decoded;
    FLAC__stream_decoder_set_md5_checking(decoder.get(), true);
    FLAC__stream_decoder_set_metadata_respond(decoder.get(), FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), FlacDecodeOnWrite,
                                       FlacDecodeOnMetadata, FlacDecodeOnError,
                                       &decoded) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return decoded;
    }
    decoded.ok = true;
    if (!FLAC__stream_decoder_process_until_end_of_stream(decoder.get())) decoded.ok = false;
    // Finishing compares the decoded samples with STREAMINFO's MD5.
    if (!FLAC__stream_decoder_finish(decoder.get())) decoded.ok = false;
    return decoded;
}

}  // namespace dravolin::lnx::test

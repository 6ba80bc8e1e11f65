#include "platform/linux/audio/FlacFile.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include "archive/AudioDisc.h"
#include "archive/Utf8Names.h"

namespace dravolin::lnx {

namespace {

struct FlacFileDeleteEncoder {
    void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
};
struct FlacFileDeleteMetadata {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
};
using FlacFileMetadata = std::unique_ptr<FLAC__StreamMetadata, FlacFileDeleteMetadata>;

// The level of `flac -5`, libFLAC's default: within a few percent of the highest level's size
// at a fraction of its time, faster than a drive reads.
constexpr unsigned kFlacFileCompression = 5;

}  // namespace

struct FlacFile::State {
    int fd = -1;
    int error = 0;
    bool started = false;
    bool finished = false;
    std::string md5;
    std::vector<FLAC__int32> widened;
    FlacFileMetadata comments;
    // Last, so that it goes first: deleting an unfinished encoder flushes through the
    // callbacks, which use the members above.
    std::unique_ptr<FLAC__StreamEncoder, FlacFileDeleteEncoder> encoder;

    static FLAC__StreamEncoderWriteStatus OnWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                  uint32_t, void* data) {
        auto* state = static_cast<State*>(data);
        while (bytes > 0) {
            const ssize_t written = ::write(state->fd, buffer, bytes);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                state->Fail(written < 0 ? errno : EIO);
                return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
            }
            buffer += written;
            bytes -= static_cast<size_t>(written);
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }

    static FLAC__StreamEncoderSeekStatus OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* data) {
        auto* state = static_cast<State*>(data);
        if (::lseek(state->fd, static_cast<off_t>(offset), SEEK_SET) >= 0) {
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        }
        state->Fail(errno);
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }

    static FLAC__StreamEncoderTellStatus OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* data) {
        auto* state = static_cast<State*>(data);
        const off_t at = ::lseek(state->fd, 0, SEEK_CUR);
        if (at < 0) {
            state->Fail(errno);
            return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        }
        *offset = static_cast<FLAC__uint64>(at);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    // Called by finish with the final STREAMINFO, which holds the MD5 of all the samples.
    static void OnMetadata(const FLAC__StreamEncoder*, const FLAC__StreamMetadata* block,
                           void* data) {
        if (block->type != FLAC__METADATA_TYPE_STREAMINFO) return;
        auto* state = static_cast<State*>(data);
        state->md5.clear();
        for (const FLAC__byte byte : block->data.stream_info.md5sum) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", byte);
            state->md5 += hex;
        }
    }

    // The first failure is the one to tell: what follows it (the end of the stream written
    // anyway) fails for the same reason or for libFLAC's having stopped.
    void Fail(int why = EIO) {
        if (error == 0) error = why;
    }
};

FlacFile::FlacFile(int fd, std::uint64_t samples, const FlacTags& tags)
    : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.fd = fd;
    state.encoder.reset(FLAC__stream_encoder_new());
    state.comments.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
    if (!state.encoder || !state.comments) {
        state.error = ENOMEM;
        return;
    }
    for (const auto& [name, value] : tags) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        // The entry's bytes pass to the block (copy false), which frees them.
        if (FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(
                &entry, name.c_str(), archive::ValidUtf8(value).c_str()) &&
            !FLAC__metadata_object_vorbiscomment_append_comment(state.comments.get(), entry,
                                                                false)) {
            std::free(entry.entry);
        }
    }
    FLAC__StreamEncoder* encoder = state.encoder.get();
    FLAC__StreamMetadata* blocks[] = {state.comments.get()};
    const bool set = FLAC__stream_encoder_set_verify(encoder, false) &&
                     FLAC__stream_encoder_set_channels(encoder, 2) &&
                     FLAC__stream_encoder_set_bits_per_sample(encoder, 16) &&
                     FLAC__stream_encoder_set_sample_rate(encoder, archive::kSampleRate) &&
                     FLAC__stream_encoder_set_compression_level(encoder, kFlacFileCompression) &&
                     FLAC__stream_encoder_set_total_samples_estimate(encoder, samples) &&
                     FLAC__stream_encoder_set_metadata(encoder, blocks, 1);
    if (!set) {
        state.Fail();
        return;
    }
    // The header is written here, through the callbacks.
    state.started = FLAC__stream_encoder_init_stream(encoder, State::OnWrite, State::OnSeek,
                                                     State::OnTell, State::OnMetadata,
                                                     &state) == FLAC__STREAM_ENCODER_INIT_STATUS_OK;
    if (!state.started) state.Fail();
}

FlacFile::~FlacFile() = default;

bool FlacFile::Started() const {
    return state_->started;
}

bool FlacFile::Write(std::span<const std::int16_t> interleaved) {
    State& state = *state_;
    if (!state.started || state.finished || state.error != 0) return false;
    state.widened.assign(interleaved.begin(), interleaved.end());
    if (FLAC__stream_encoder_process_interleaved(state.encoder.get(), state.widened.data(),
                                                 static_cast<uint32_t>(interleaved.size() / 2))) {
        return true;
    }
    state.Fail();
    return false;
}

bool FlacFile::Finish() {
    State& state = *state_;
    if (!state.started || state.finished) return false;
    state.finished = true;
    // Flushes the last frame and writes STREAMINFO (count, MD5) again at the file's start.
    const bool finished = FLAC__stream_encoder_finish(state.encoder.get());
    if (!finished) state.Fail();
    return finished && state.error == 0;
}

int FlacFile::Error() const {
    return state_->error;
}

const std::string& FlacFile::Md5() const {
    return state_->md5;
}

}  // namespace dravolin::lnx

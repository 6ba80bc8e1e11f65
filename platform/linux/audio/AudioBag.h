#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "archive/AudioDisc.h"
#include "archive/BagRecord.h"
#include "archive/BagText.h"
#include "platform/linux/audio/CdioDisc.h"
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::lnx {

// A disc's audio, to be put into the bag being built.
struct AudioRead {
    std::shared_ptr<CdioDisc> disc;
    archive::DiscToc toc;
    std::string discId;  // MusicBrainzDiscId's
};

struct AudioBagResult {
    // errno of what the target refused (ENOSPC: full), or ENODEV where the disc's audio could
    // not be read at all; 0 else.
    int error = 0;
    bool stopped = false;  // `progress` said stop: the tracks ripped so far are kept, whole
    // The tracks' FLAC files, the cue sheet and the table, under kAudioFolder, with their
    // digests; a track's damage in samples.
    std::vector<archive::ArchivedFile> files;
    archive::InfoFields notes;  // bag-info.txt's lines about the audio
};

// Rips every audio track of `read.disc` into data/audio/ of the bag folder `bag` (a descriptor
// the caller keeps), a FLAC file per track (archive::TrackFileName), then writes the cue sheet
// and the table there, each flushed. `progress` is told after every sector and stops the rip by
// answering false; a track it stops in is kept as far as it got and counted as damaged from
// there to its end, so that the bag says it is incomplete.
AudioBagResult RipAudio(const AudioRead& read, int bag,
                        const std::function<bool(const CopyProgress&)>& progress);

// The kind of disc, in bag-info.txt's words: "audio CD", "mixed-mode CD (data first)",
// "Enhanced CD (data last)".
std::string DiscKindText(const archive::DiscToc& toc);

}  // namespace dravolin::lnx

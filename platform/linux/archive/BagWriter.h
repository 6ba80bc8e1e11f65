#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include "platform/linux/archive/BagFolder.h"
#include "platform/linux/archive/BagImage.h"
#include "platform/linux/archive/Utf8Payload.h"
#include "platform/linux/audio/AudioBag.h"
#include "archive/BagName.h"
#include "archive/BagText.h"
#include "platform/linux/copy/ArchiveRecord.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::lnx {

using BagFields = archive::InfoFields;

// One disc to be made a bag.
struct BagRequest {
    std::string discRoot;      // the mounted disc's root folder
    std::string targetFolder;  // where the bags go; made when missing
    std::string label;         // the volume label: External-Identifier
    // The program's own fields for bag-info.txt (drive, serial, label, fingerprint, start
    // time...), written in this order after the standard ones.
    BagFields fields;
    // The disc's time budget: past it the copy stops, and the bag keeps what it holds, as an
    // incomplete one.
    std::optional<std::chrono::steady_clock::time_point> readUntil = std::nullopt;
    // Set: the disc is read once into its image under data/image/, with its map, and where the
    // image has a `mount` or a `tree`, its files are taken out of that image, not out of
    // `discRoot`. The
    // budget is the read's then: whatever the read did not get, the files show as damaged.
    const ImageRead* image = nullptr;
    // Set: the disc's audio tracks are ripped into data/audio/ after its data, if it has any
    // (`discRoot` empty and no `image`: an audio CD, whose bag has no files).
    const AudioRead* audio = nullptr;
};

// Unchanged: the read carried on from an earlier bag (ImageRead::earlier) and got nothing that
// bag lacked; no bag was made, the earlier one stays as it was.
enum class BagResult { Complete, Incomplete, Unchanged, Failed };

struct BagOutcome {
    BagResult result = BagResult::Failed;
    bool cancelled = false;   // with Failed: the prompts or the worker's cancel flag said stop
    std::uint64_t files = 0;  // the disc's, under data/files/
    std::uint64_t bytes = 0;  // of the whole payload, the disc's image and map included
    std::uint64_t damagedFiles = 0;  // the image among them where the disc was not read whole
    bool budgetSpent = false;        // with Incomplete: the disc's time budget ended the copy
    bool targetFull = false;   // the target disk was full: the bag holds what fit, if anything
    bool readOn = false;       // the disc's read carried on from an earlier bag's image and map
    std::uint64_t gained = 0;  // the bytes its read got that no earlier read had
    std::string summary;       // what the disc held that no bag takes (links, devices...)
    std::optional<CopyFailure> failure;
};

// Makes one disc a BagIt bag in the target folder with the safe copy engine (an archive copy:
// hashed, read errors recovered, nothing asked), under a temporary name no finished bag has.
// Build copies the disc under data/files/ and writes the tag files, each flushed, then the folder;
// Publish gives it its name. Until then a crash or power cut leaves only the temporary folder,
// which a later writer removes once this one is gone; a bag that is not published is removed
// when the writer goes. Progress and cancel go through the prompts' OnProgress alone.
class BagWriter {
  public:
    BagWriter(CopyIo& io, CopyPrompts& prompts);
    ~BagWriter();
    BagWriter(const BagWriter&) = delete;
    BagWriter& operator=(const BagWriter&) = delete;

    // Once per writer.
    BagOutcome Build(const BagRequest& request);

    using Published = archive::Published;
    // Renames a Complete or Incomplete bag to `name`, never over anything: NameTaken lets the
    // caller try the next name. `error` receives the errno of a failure. Once renamed the bag
    // is Done, even where the target folder's flush then fails: it stands whole under its name.
    Published Publish(const std::string& name, int* error = nullptr);
    // Puts the bag in the place of the bag `name`, an earlier one it replaces, in one step: the
    // earlier bag takes this one's temporary name and lock, and is removed; after a crash, by
    // the next writer.
    Published PublishOver(const std::string& name, int* error = nullptr);

    // Where the bag is being built: the target folder and the temporary name; empty before.
    std::string BuildingPath() const;

  private:
    // Writes every tag file but the declaration (written first). On a full disk, the last
    // files of the payload are removed, and left out of `record`, until the tag files fit.
    // `image`: what the disc's read into its image left (imageCut, filesNotTaken); the rest of
    // the bag's end is the outcome's. 0, or the errno of the step that failed.
    int WriteTags(const BagRequest& request, ArchiveRecord& record,
                  const std::vector<StoredAs>& renamed, const archive::BagEnd& image,
                  BagOutcome& outcome);
    // 0, or the errno of the step that failed.
    int WriteTagFile(const std::string& name, const std::string& text);
    BagOutcome Fail(BagOutcome outcome, const std::string& path, int error,
                    const std::string& what);
    void Discard();

    CopyIo& io_;
    CopyPrompts& prompts_;
    TempOwner owner_;
    std::mt19937_64 random_;
    std::string targetFolder_;
    UniqueFd target_;
    BagFolder bag_;
    bool built_ = false;
};

}  // namespace dravolin::lnx

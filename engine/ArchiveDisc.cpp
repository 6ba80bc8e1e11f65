#include "engine/ArchiveDisc.h"
#include <optional>
#include <vector>
#include "archive/ArchiveLog.h"
#include "archive/BagName.h"
#include "archive/SameDisc.h"

namespace dravolin {

namespace {

using archive::DiscResult;

std::string Fill(std::string text, const std::string& value) {
    const std::size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

// Tells the desktop how the disc ended. A full target is told by the copy cycle, once.
void Tell(Archiver& archiver, const ArchiveTexts& texts, const archive::LogRow& row,
          const std::string& archivedIn) {
    using Urgency = Archiver::Urgency;
    switch (row.result) {
        case DiscResult::Complete:
            archiver.Notify(Urgency::Quiet, Fill(texts.complete, row.bagFolder));
            break;
        case DiscResult::AlreadyArchived:
            archiver.Notify(Urgency::Quiet, Fill(texts.alreadyArchived, archivedIn));
            break;
        case DiscResult::Incomplete:
            // Without a damaged file, what ended the bag early was the disc's time budget.
            archiver.Notify(
                Urgency::NeedsPerson,
                Fill(row.damagedFiles > 0 ? texts.incomplete : texts.stopped, row.bagFolder));
            break;
        case DiscResult::NoFileSystem:
            archiver.Notify(Urgency::NeedsPerson, Fill(texts.unreadable, row.drive));
            break;
        case DiscResult::Failed:
            archiver.Notify(Urgency::NeedsPerson, Fill(texts.failed, row.drive));
            break;
        case DiscResult::TargetFull:
            break;
    }
}

// Bags the disc and writes what came of it into `row`.
void BuildBag(Archiver& archiver, const ArchiveOptions& options, const DiscToArchive& disc,
              const archive::LocalTime& start, archive::LogRow& row) {
    const std::string base = archive::BagName(
        options.pattern, archive::BagFields{disc.label, start, disc.fingerprint, row.drive});
    const std::optional<std::string> name = archive::UniqueBagName(
        base,
        [&](const std::string& candidate) { return archiver.NameTaken(disc.folder, candidate); });
    if (!name) {
        row.result = DiscResult::Failed;
        return;
    }
    const Archiver::BagOutcome outcome =
        archiver.BuildBag(Archiver::Bag{disc.letter, disc.owner, disc.folder, *name, disc.label,
                                        disc.fingerprint, start, options.discSeconds});
    // Only the results a bag can have are taken; anything else would misstate the log.
    switch (outcome.result) {
        case DiscResult::Complete:
        case DiscResult::Incomplete:
        case DiscResult::NoFileSystem:
        case DiscResult::TargetFull:
            row.result = outcome.result;
            break;
        case DiscResult::AlreadyArchived:
        case DiscResult::Failed:
            row.result = DiscResult::Failed;
            break;
    }
    row.bagFolder = outcome.folderName;
    row.files = outcome.files;
    row.bytes = outcome.bytes;
    row.damagedFiles = outcome.damagedFiles;
}

}  // namespace

// Worker thread.
DiscResult ArchiveDisc(Archiver& archiver, const ArchiveSettings& settings, DiscToArchive disc) {
    const archive::LocalTime start = archiver.Now();
    // The row may have been filled in before the drive had read the disc.
    if (const std::optional<Archiver::DiscIdentity> read = archiver.ReadDisc(disc.letter)) {
        disc.label = read->label;
        disc.fingerprint = read->fingerprint;
    }
    archive::LogRow row;
    row.start = archive::IsoText(start);
    row.drive = disc.letter != 0 ? std::string(1, disc.letter) : std::string();
    row.label = disc.label;
    row.fingerprint = disc.fingerprint;

    const std::vector<archive::LogRow> earlier = archive::ParseLog(archiver.ReadLog(disc.folder));
    const archive::DiscDecision decision = archive::Decide(earlier, disc.fingerprint);
    if (decision.copy) {
        BuildBag(archiver, settings.options, disc, start, row);
    } else {
        row.result = DiscResult::AlreadyArchived;
    }
    row.end = archive::IsoText(archiver.Now());

    archiver.AppendLog(disc.folder, row);
    Tell(archiver, settings.texts, row, decision.archivedIn);
    return row.result;
}

}  // namespace dravolin

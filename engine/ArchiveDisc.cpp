#include "engine/ArchiveDisc.h"
#include <memory>
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

// Tells the desktop how the disc ended. A full target is told by the copy cycle, once. A row the
// log did not take outweighs the rest: the disc is not what the log says, and a person must see
// to the log. `stopped`: the disc's time budget ended its bag.
void Tell(Archiver& archiver, const ArchiveTexts& texts, const archive::LogRow& row, bool stopped,
          bool gainedNothing, const std::string& archivedIn, const std::string& unwrittenLog) {
    using Urgency = Archiver::Urgency;
    if (!unwrittenLog.empty()) {
        archiver.Notify(Urgency::NeedsPerson, Fill(texts.logFailed, unwrittenLog));
        return;
    }
    if (gainedNothing) {
        archiver.Notify(Urgency::NeedsPerson, Fill(texts.nothingGained, row.bagFolder));
        return;
    }
    switch (row.result) {
        case DiscResult::Complete:
            archiver.Notify(Urgency::Quiet, Fill(texts.complete, row.bagFolder));
            break;
        case DiscResult::AlreadyArchived:
            archiver.Notify(Urgency::Quiet, Fill(texts.alreadyArchived, archivedIn));
            break;
        case DiscResult::Incomplete:
            // A disc its time budget stopped is told so, whatever it left damaged: read into an
            // image, the files the read did not reach are damaged ones.
            archiver.Notify(Urgency::NeedsPerson,
                            Fill(stopped ? texts.stopped : texts.incomplete, row.bagFolder));
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

// What the log says of a read carried on from the earlier bag `earlier`.
void NoteReadOn(const Archiver::BagOutcome& outcome, const archive::LogRow& earlier,
                archive::LogRow& row) {
    row.note = "read on from " + earlier.bagFolder + ": ";
    if (outcome.gained > 0) {
        row.note += std::to_string(outcome.gained) + " bytes more read";
        return;
    }
    row.note += "nothing more read, the bag left as it was";
    row.result = DiscResult::Incomplete;
    row.bagFolder = earlier.bagFolder;
    row.files = earlier.files;
    row.bytes = earlier.bytes;
    row.damagedFiles = earlier.damagedFiles;
}

struct Built {
    bool stopped = false;    // the disc's time budget ended its bag
    std::string readOnFrom;  // the earlier bag read on from
    std::uint64_t gained = 0;
};

// Bags the disc and writes what came of it into `row`.
Built BuildBag(Archiver::Target& target, const ArchiveOptions& options, const DiscToArchive& disc,
               const archive::LocalTime& start, const std::optional<archive::LogRow>& earlier,
               archive::LogRow& row) {
    const std::string base = archive::BagName(
        options.pattern, archive::BagFields{disc.label, start, disc.fingerprint, row.drive});
    const std::optional<std::string> name = archive::UniqueBagName(
        base, [&](const std::string& candidate) { return target.NameTaken(candidate); });
    if (!name) {
        row.result = DiscResult::Failed;
        return {};
    }
    const Archiver::BagOutcome outcome = target.BuildBag(
        Archiver::Bag{disc.letter, disc.owner, *name, disc.label, disc.fingerprint, disc.identity,
                      start, options.discSeconds, options.keep,
                      earlier ? earlier->bagFolder : std::string(), options.bagInfo});
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
    Built built;
    if (outcome.readOn && earlier &&
        (row.result == DiscResult::Complete || row.result == DiscResult::Incomplete)) {
        NoteReadOn(outcome, *earlier, row);
        built.readOnFrom = earlier->bagFolder;
        built.gained = outcome.gained;
    }
    // Anyone can look an audio disc up by it later; the log is what a person reads first.
    if (!outcome.discId.empty() &&
        (row.result == DiscResult::Complete || row.result == DiscResult::Incomplete)) {
        const std::string id = "MusicBrainz disc ID " + outcome.discId;
        row.note = row.note.empty() ? id : id + "; " + row.note;
    }
    built.stopped = outcome.budgetSpent && row.result == DiscResult::Incomplete;
    return built;
}

// The target's log, and its bags for a disc the log may have lost the row of.
archive::DiscDecision Decide(Archiver::Target& target, const DiscToArchive& disc) {
    const std::vector<archive::LogRow> rows = archive::ParseLog(target.ReadLog());
    std::vector<archive::LogRow> bags;
    if (!disc.identity.empty()) {
        for (Archiver::BagInfoText& info : target.ReadBagInfos()) {
            if (auto bag = archive::RowOfBag(std::move(info.folderName), info.text)) {
                bags.push_back(std::move(*bag));
            }
        }
    }
    return archive::Decide(rows, bags, disc.label, disc.identity);
}

}  // namespace

// Worker thread.
ArchivedDisc ArchiveDisc(Archiver& archiver, const ArchiveSettings& settings, DiscToArchive disc) {
    const archive::LocalTime start = archiver.Now();
    // The row may have been filled in before the drive had read the disc.
    if (const std::optional<Archiver::DiscIdentity> read = archiver.ReadDisc(disc.letter)) {
        disc.label = read->label;
        disc.fingerprint = read->fingerprint;
        disc.identity = read->identity;
    }
    archive::LogRow row;
    row.start = archive::IsoText(start);
    row.drive = disc.letter != 0 ? std::string(1, disc.letter) : std::string();
    row.label = disc.label;
    row.fingerprint = disc.fingerprint;
    row.identity = disc.identity;

    // Held until the row is written: the same disc in another drive would otherwise decide
    // before this one's bag is there and make a second one.
    const std::unique_ptr<Archiver::Target> target = archiver.OpenTarget(disc.folder);
    std::unique_ptr<Archiver::Claim> claim;
    if (!disc.identity.empty()) claim = target->ClaimDisc(disc.identity);
    const archive::DiscDecision decision = Decide(*target, disc);
    bool logged = true;
    if (decision.missingRow) logged = target->AppendLog(*decision.missingRow);
    Built built;
    if (decision.copy) {
        built = BuildBag(*target, settings.options, disc, start, decision.earlier, row);
    } else {
        row.result = DiscResult::AlreadyArchived;
    }
    row.end = archive::IsoText(archiver.Now());

    logged = target->AppendLog(row) && logged;
    claim.reset();
    target->WritePage(archive::PageTextsFor(settings.texts.pageLanguage));
    const bool gainedNothing = !built.readOnFrom.empty() && built.gained == 0;
    Tell(archiver, settings.texts, row, built.stopped, gainedNothing, decision.archivedIn,
         logged ? std::string() : target->LogFileName());
    return {row.result, decision.copy ? std::string() : decision.archivedIn, built.readOnFrom,
            built.gained};
}

}  // namespace dravolin

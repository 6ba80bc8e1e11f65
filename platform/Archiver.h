#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "archive/ArchiveLog.h"
#include "archive/BagRecord.h"
#include "archive/BagText.h"
#include "archive/DiscResult.h"
#include "archive/LocalTime.h"
#include "archive/PageTexts.h"
#include "platform/Types.h"

namespace dravolin {

// The file work of archive mode: the target folder's log, its names, one disc's bag, and the
// desktop's notifications. The core decides; the platform reads, writes and tells.
//
// Called on copy-cycle workers, by several drives at once on the same target folder, and for a
// notification also on the UI thread; every member must allow that. A disc's target folder is
// bound once for that disc (OpenTarget), and used on its worker alone.
class Archiver {
  public:
    virtual ~Archiver() = default;

    // The machine's clock now.
    virtual archive::LocalTime Now() = 0;

    // The disc in the drive as read now; nullopt when it cannot be told, and the row's
    // knowledge, which may be older than the disc, is used.
    struct DiscIdentity {
        std::string label;
        std::uint32_t fingerprint = 0;
        std::string identity;  // archive::Decide's; empty when the disc cannot be told
    };
    virtual std::optional<DiscIdentity> ReadDisc(char /*letter*/) { return std::nullopt; }

    // The bag-info.txt of a bag of the target folder, by the bag's folder name.
    struct BagInfoText {
        std::string folderName;
        std::string text;
    };

    // Held while one disc is decided, bagged and logged; let go when destroyed.
    class Claim {
      public:
        virtual ~Claim() = default;
    };

    // One disc to bag, and what bag-info.txt says of it.
    struct Bag {
        char letter = 0;         // the drive
        WindowHandle owner = 0;  // the dialog, for the progress window
        std::string name;        // the bag's folder name, free when the core chose it
        std::string label;       // the volume label, bytes as read
        std::uint32_t fingerprint = 0;
        std::string identity;  // empty when unknown: bag-info.txt leaves it out
        archive::LocalTime start;
        std::uint32_t timeBudgetSeconds = 0;  // the disc ends incomplete when it is spent
        archive::BagKeeps keep = archive::BagKeeps::Both;
        // An incomplete bag of the same disc in the folder, by its folder name; empty when
        // there is none. Where it holds the disc's image and map, the read carries on from them
        // and asks the drive only for what they lack; the merged bag replaces it once it stands
        // whole under its own name. A read that gains nothing leaves it as it was.
        std::string earlier;
        // The user's own bag-info.txt fields (--bag-info), written after External-Identifier and
        // before the program's own: most are BagIt's standard fields, read best beside the others.
        archive::InfoFields userFields = {};
    };
    struct BagOutcome {
        // Complete, Incomplete, NoFileSystem (no bag made), TargetFull or Failed.
        archive::DiscResult result = archive::DiscResult::Failed;
        std::string folderName;  // the name the bag really got; empty when none was made
        std::uint64_t files = 0;
        std::uint64_t bytes = 0;
        std::uint64_t damagedFiles = 0;
        bool budgetSpent = false;  // with Incomplete: the disc's time budget ended its read
        // The read carried on from Bag::earlier, and the bytes it read that the earlier one
        // lacked. Where it gained none, `folderName` is the earlier bag, left as it was, and the
        // counts are not known.
        bool readOn = false;
        std::uint64_t gained = 0;
        // A disc with audio tracks: its MusicBrainz disc ID, by which anyone can look it up;
        // empty for a data disc.
        std::string discId;
    };

    // The target folder of one disc: its log, its names, its claims and the disc's new bag.
    class Target {
      public:
        virtual ~Target() = default;

        // The text of the folder's archive-log.csv; empty when there is none or it cannot be
        // read.
        virtual std::string ReadLog() = 0;
        // Appends the row to the folder's archive-log.csv, creating it, as archive::AppendText
        // makes it of the log's content at that moment, and flushes it to the disk. Appends by
        // other drives and programs are kept out meanwhile, so no row is torn and a new log
        // gets one header.
        virtual bool AppendLog(const archive::LogRow& row) = 0;
        // The log's own file, as a person finds it: told when a row could not be written.
        virtual std::string LogFileName() = 0;
        // The bag-info.txt of each bag in the folder that has one; temporary bags and what
        // cannot be read are left out.
        virtual std::vector<BagInfoText> ReadBagInfos() = 0;
        // Claims the disc `identity` names in the folder, against every drive and program that
        // archives into it, waiting while another holds it. Null when no claim can be made
        // there (the disc goes on unclaimed: a second bag is a lesser harm than a disc not
        // copied).
        virtual std::unique_ptr<Claim> ClaimDisc(const std::string& identity) = 0;
        // Whether an entry named `name` exists in the folder, as its file system compares
        // names.
        virtual bool NameTaken(const std::string& name) = 0;
        // Copies the disc in the drive into a new bag in the folder. The bag is built under a
        // temporary name and renamed when finished: to `name`, or the name
        // archive::FinalBagName gives when the result is not Complete or `name` was taken
        // meanwhile. Never asks anyone.
        virtual BagOutcome BuildBag(const Bag& bag) = 0;
        // Writes the folder's archive::kPageFileName anew (archive::ArchivePage) from its log,
        // its bags and the reports of their checks, replacing the old page only once the new
        // one is whole. Whoever writes the page of the folder meanwhile waits, so the page
        // written last is never older than another. A page that cannot be written is left: the
        // log and the bags are the record.
        virtual void WritePage(const archive::PageTexts& texts) = 0;
    };
    // `folder` as the copy cycle prepared it, in the same form ShellCopy gets as its
    // destination; never null (where it names no folder, what the target is asked fails).
    virtual std::unique_ptr<Target> OpenTarget(const std::string& folder) = 0;

    enum class Urgency {
        Quiet,        // a disc is done: nobody needs to come
        NeedsPerson,  // damage, an unreadable disc, a full target
    };
    // A desktop notification; nothing happens where the desktop has no notification service.
    virtual void Notify(Urgency urgency, const std::string& text) = 0;
};

}  // namespace dravolin

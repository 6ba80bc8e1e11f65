#pragma once
#include <string>
#include <string_view>

namespace dravolin::archive {

// The words of the archive's page (index.html) in one language. The page is a file that lives
// on beside the bags, read by whoever opens it, so its texts travel with the core rather than
// with one desktop's resources; the program says which language it speaks. "%1" and "%2" stand
// for what each comment names.
struct PageTexts {
    std::string language;  // the page's lang attribute: "en", "ru"
    std::string title;
    std::string written;  // %1: when the page was written
    std::string counts;   // %1 discs, %2 complete, %3 incomplete, %4 others
    std::string empty;    // no disc is in the log yet

    // The table's heads.
    std::string result, label, date, drive, files, size, damaged, bag, verified, map;
    // The result words, in the order of DiscResult.
    std::string complete, incomplete, unreadable, alreadyArchived, targetFull, failed;
    // The last check's words, in the order of BagVerdict, and a bag no check has seen.
    std::string valid, changed, missingFiles, extraFiles, unreadableBag, notChecked;
    std::string checkedOn;      // %1: the verdict, %2: the check's date
    std::string reportAltered;  // %1: a report whose last line no longer matches it
    std::string noBag;          // a row whose bag is not in the folder (any more)
    // Why an incomplete bag ended early: its time budget, or a full target disk.
    std::string stoppedByTime, stoppedByFullTarget;

    // The map's legend, in the order of ddrescue's states as BlockState names them, and its
    // caption: %1 the share of the disc read.
    std::string read, nonTried, nonTrimmed, nonScraped, bad;
    std::string mapCaption;

    // The search.
    std::string searchLabel;  // the box's label
    std::string found;        // %1: how many files have the name typed
    std::string foundMore;    // %1: how many there are, %2: how many are shown
    std::string file, disc;   // the found table's heads (with bag and size)
    std::string byteUnits;    // "bytes,KB,MB,GB,TB": the units sizes are shown in
};

// The texts for `language` ("ru", "ru_RU", "ru-RU"...); English for any other.
const PageTexts& PageTextsFor(std::string_view language);

}  // namespace dravolin::archive

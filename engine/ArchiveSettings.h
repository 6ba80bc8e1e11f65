#pragma once
#include <cstdint>
#include <string>
#include "archive/BagName.h"
#include "archive/BagRecord.h"
#include "archive/BagText.h"

namespace dravolin {

// Archive mode as the program was started: off unless asked for. The caller checks the pattern
// (archive::CheckPattern) before the dialog opens.
struct ArchiveOptions {
    bool on = false;
    std::string pattern{archive::kDefaultPattern};  // the bag folder's name
    std::uint32_t discSeconds = 30 * 60;            // a disc's time budget
    archive::BagKeeps keep = archive::BagKeeps::Both;
    // The user's own bag-info.txt fields (--bag-info), for every bag, in their order.
    archive::InfoFields bagInfo = {};
};

// The notifications' texts in the user's language, loaded on the UI thread for the workers.
// "%1" stands for the bag folder (complete, already archived, incomplete, stopped, nothing
// gained), the drive
// letter (unreadable, failed) or the log's file (logFailed).
struct ArchiveTexts {
    std::string complete;
    std::string alreadyArchived;
    std::string incomplete;
    std::string stopped;  // incomplete: its time budget stopped the disc
    std::string unreadable;
    std::string failed;
    std::string logFailed;  // the disc's row could not be written: it may be copied again
    // A disc read on from its incomplete bag gave nothing more: the bag is as it was.
    std::string nothingGained;
    // The language of the folder's index.html (archive::PageTextsFor): the program's own.
    std::string pageLanguage = "en";
};

// What every archive worker of a dialog shares; never changed once the dialog has set it up.
struct ArchiveSettings {
    ArchiveOptions options;
    ArchiveTexts texts;
};

}  // namespace dravolin

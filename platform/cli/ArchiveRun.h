#pragma once
#include <QString>
#include <atomic>
#include <string>
#include "engine/ArchiveSettings.h"
#include "platform/qt/texts/Translation.h"

namespace dravolin::cli {

// The archiver's exit statuses; kUsageExitStatus (2) is a refused command line.
enum ExitStatus : int {
    kComplete = 0,    // a complete bag, or the disc already has one in the target
    kIncomplete = 1,  // a bag with damaged files, or cut short by the time budget
    kFailed = 3,      // no bag: the source, the target, the mount or the copy failed
    kTargetFull = 4,  // the target disk filled up: at most an incomplete bag of what fit
};

struct RunOutcome {
    int status = kFailed;
    QString line;     // the result, one line for the standard output
    QString warning;  // empty, or one line for the error output
};

// Archives the disc `source` names (a folder or an optical drive's device) into a new bag in
// `target`, made when missing, exactly as the dialog archives a disc: the same-disc rule, the
// bag's name and the log's row are the engine's. Progress goes to the error output when it is
// a terminal. `stop` ends the copy at its next block.
RunOutcome RunArchive(const ArchiveOptions& options, const std::string& source,
                      const std::string& target, const qt::Translation& texts,
                      const std::atomic<bool>& stop);

}  // namespace dravolin::cli

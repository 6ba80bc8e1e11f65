#pragma once
#include <QString>
#include <cstdint>
#include "platform/linux/mount/MountFailure.h"
#include "platform/qt/texts/Language.h"

namespace dravolin::qt {

// The texts of the windows the program shows itself on Linux, beside those of the dialog's
// template and string table (QtResources): one table a subject, each loaded once a language
// from translations/dravolin_<code>.ts.

// The copy windows (ids copy...).
struct CopyTexts {
    QString progressTitle;  // %1 the drive, as the dialog's list names it
    QString fromTo;         // %1 the folder the disc is read from, %2 target
    QString bytes;          // %1 done, %2 total
    QString files;          // %1 done, %2 total
    QString rate;           // %1 per second
    QString cancel;
    QString replaceTitle;
    QString replaceText;  // %1 path, %2 existing size, %3 existing date, %4 new, %5 date
    QString yes;
    QString yesToAll;
    QString no;
    QString noToAll;
    QString errorTitle;
    QString retry;
    QString skip;
    QString finishedTitle;
    QString byteUnits[5];
    // What a disc that could not be mounted means, by lnx::MountProblem: %1 the drive,
    // %2 the system's short reason.
    QString mountProblems[lnx::kMountProblems];
};
const CopyTexts& CopyTextsOf(Language language);

// "1.4 MB" in the language's units.
QString FormatBytes(std::uint64_t bytes, const CopyTexts& texts);

// A target folder that cannot be made ready for a copy (ids prepare...).
struct PrepareTexts {
    QString title;
    QString cannotPrepare;  // %1 the folder and the reason
    // The reasons for targets a Linux user would not mean as a folder here.
    QString drivePath;
    QString networkName;
    QString unknownUser;  // %1 the user name
};
const PrepareTexts& PrepareTextsOf(Language language);

// The per-user store cannot be written or was found damaged (ids store...).
struct StoreTexts {
    QString title;
    QString cannotSave;  // %1 the store file, %2 the reason
    QString notAFile;    // the reason when something else than a regular file stands there
    QString damaged;     // %1 the store file, %2 its backup
};
const StoreTexts& StoreTextsOf(Language language);

}  // namespace dravolin::qt

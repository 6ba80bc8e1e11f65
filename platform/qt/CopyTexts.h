#pragma once
#include <QString>
#include "platform/linux/mount/MountFailure.h"
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// The texts of the copy windows, which the program shows itself on Linux
// (translations/dravolin_<code>.ts, ids copy...).
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

}  // namespace dravolin::qt

#pragma once
#include <QString>
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// The texts of the message the program shows itself on Linux when a target folder cannot be
// made ready for a copy (translations/dravolin_<code>.ts, ids prepare...).
struct PrepareTexts {
    QString title;
    QString cannotPrepare;  // %1 the folder and the reason
    // The reasons for targets a Linux user would not mean as a folder here.
    QString drivePath;
    QString networkName;
    QString unknownUser;  // %1 the user name
};
const PrepareTexts& PrepareTextsOf(Language language);

}  // namespace dravolin::qt

#pragma once
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// The texts of the copy windows, which the program shows itself on Linux.
struct CopyTexts {
    const char* progressTitle;  // %1 the disc's folder
    const char* fromTo;         // %1 source, %2 target
    const char* bytes;          // %1 done, %2 total
    const char* files;          // %1 done, %2 total
    const char* rate;           // %1 per second
    const char* cancel;
    const char* replaceTitle;
    const char* replaceText;  // %1 path, %2 existing size, %3 existing date, %4 new, %5 date
    const char* yes;
    const char* yesToAll;
    const char* no;
    const char* noToAll;
    const char* errorTitle;
    const char* retry;
    const char* skip;
    const char* finishedTitle;
    const char* byteUnits[5];
};
const CopyTexts& CopyTextsOf(Language language);

}  // namespace dravolin::qt

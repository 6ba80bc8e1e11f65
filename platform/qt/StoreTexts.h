#pragma once
#include <QString>
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// The texts of the messages the program shows itself on Linux when the per-user store cannot
// be written or was found damaged (translations/dravolin_<code>.ts, ids store...).
struct StoreTexts {
    QString title;
    QString cannotSave;  // %1 the store file, %2 the reason
    QString notAFile;    // the reason when something else than a regular file stands there
    QString damaged;     // %1 the store file, %2 its backup
};
const StoreTexts& StoreTextsOf(Language language);

}  // namespace dravolin::qt

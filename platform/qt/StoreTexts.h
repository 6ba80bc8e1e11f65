#pragma once
#include <QString>
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// The texts of the message the program shows itself on Linux when the per-user store cannot
// be written (translations/dravolin_<code>.ts, ids store...).
struct StoreTexts {
    QString title;
    QString cannotSave;  // %1 the store file, %2 the reason
};
const StoreTexts& StoreTextsOf(Language language);

}  // namespace dravolin::qt

#pragma once
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// The texts of the message the program shows itself on Linux when a target folder cannot be
// made ready for a copy.
struct PrepareTexts {
    const char* title;
    const char* cannotPrepare;  // %1 the folder and the reason
};
const PrepareTexts& PrepareTextsOf(Language language);

}  // namespace dravolin::qt

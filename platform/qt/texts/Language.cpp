#include "platform/qt/texts/Language.h"

namespace dravolin::qt {

Language LanguageOf(const QLocale& locale) {
    return locale.language() == QLocale::Russian ? Language::Russian : Language::English;
}

}  // namespace dravolin::qt

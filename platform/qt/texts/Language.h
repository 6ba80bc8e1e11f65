#pragma once
#include <QLocale>

namespace dravolin::qt {

enum class Language { English, Russian };

// Russian for a Russian locale, English otherwise, as the resource lookup picks a language.
Language LanguageOf(const QLocale& locale);

}  // namespace dravolin::qt

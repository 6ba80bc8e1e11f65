#pragma once
#include <QLocale>
#include "platform/Resources.h"

namespace dravolin::qt {

enum class Language { English, Russian };

// Russian for a Russian locale, English otherwise, as the resource lookup picks a language.
Language LanguageOf(const QLocale& locale);

// The texts of the dialog template in one language.
struct TemplateTexts {
    const char* caption;
    const char* browse;
    const char* exit;
    const char* targetLabel;
    int targetLabelWidth;  // dialog units: the Russian label is wider
    const char* product;   // the two-line product caption
    const char* openTarget;
};
const TemplateTexts& TextsOf(Language language);

// The string table (132-138) and the icons (128, 130, 131) compiled into the program.
class QtResources : public Resources {
  public:
    explicit QtResources(Language language);
    std::string LoadString(std::uint32_t id) const override;
    IconPtr LoadIcon(std::uint32_t id) const override;
    Language language() const { return language_; }

  private:
    Language language_;
};

}  // namespace dravolin::qt

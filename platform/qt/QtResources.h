#pragma once
#include <QString>
#include <memory>
#include "platform/Resources.h"
#include "platform/qt/texts/Language.h"

namespace dravolin::qt {

// The texts of the dialog template in one language (translations/dravolin_<code>.ts).
struct TemplateTexts {
    QString caption;
    QString browse;
    QString exit;
    QString targetLabel;
    Language language;  // the template's widths follow it: the Russian label is wider
    QString product;    // the two-line product caption
    QString openTarget;
};
const TemplateTexts& TextsOf(Language language);

class Translation;

// The string table (132-138), from the language's translation file, and the icons (128, 130,
// 131) compiled into the program.
class QtResources : public Resources {
  public:
    explicit QtResources(Language language);
    ~QtResources() override;
    std::string LoadString(std::uint32_t id) const override;
    IconPtr LoadIcon(std::uint32_t id) const override;
    Language language() const { return language_; }

  private:
    Language language_;
    std::unique_ptr<Translation> texts_;
};

}  // namespace dravolin::qt

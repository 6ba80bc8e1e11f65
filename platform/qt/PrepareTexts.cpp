#include "platform/qt/PrepareTexts.h"

namespace dravolin::qt {

namespace {

constexpr PrepareTexts kEnglish{
    "Dravolin",
    "Cannot copy into the target folder:\n%1\n\nCorrect the folder and tick the drive again.",
};

constexpr PrepareTexts kRussian{
    "Dravolin",
    "Невозможно копировать в целевой каталог:\n%1\n\nИсправьте каталог и снова отметьте диск.",
};

}  // namespace

const PrepareTexts& PrepareTextsOf(Language language) {
    return language == Language::Russian ? kRussian : kEnglish;
}

}  // namespace dravolin::qt

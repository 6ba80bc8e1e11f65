#include "platform/qt/StoreTexts.h"

namespace dravolin::qt {

namespace {

constexpr StoreTexts kEnglish{
    "Dravolin",
    "The recently used target folders cannot be saved in the file\n%1\n\n%2",
};

constexpr StoreTexts kRussian{
    "Dravolin",
    "Не удаётся сохранить недавно использованные целевые каталоги в файле\n%1\n\n%2",
};

}  // namespace

const StoreTexts& StoreTextsOf(Language language) {
    return language == Language::Russian ? kRussian : kEnglish;
}

}  // namespace dravolin::qt

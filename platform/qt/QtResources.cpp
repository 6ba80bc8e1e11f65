#include "platform/qt/QtResources.h"

#include <QFile>
#include <array>
#include <utility>
#include "platform/qt/QtIcon.h"

// The icons are compiled into this static library: the resource's initialiser must be named,
// or the linker drops it.
static void InitIconResources() {
    Q_INIT_RESOURCE(dravolin);
}

namespace dravolin::qt {

namespace {

using StringTable = std::array<std::pair<std::uint32_t, const char*>, 7>;

constexpr StringTable kEnglish{{
    {132, " "},
    {133, "Disc ejecting"},
    {134, "Waiting for new disc"},
    {135, "Disc copying"},
    {136, "Select target folder and press \"OK\" button."},
    {137, "Drive"},
    {138, "Status"},
}};

constexpr StringTable kRussian{{
    {132, " "},
    {133, "Выброс диска"},
    {134, "Ожидание загрузки нового диска"},
    {135, "Копирование диска"},
    {136, "Укажите целевой каталог, а затем нажмите кнопку \"OK\"."},
    {137, "Диск"},
    {138, "Состояние"},
}};

constexpr TemplateTexts kEnglishTemplate{
    "Dravolin", "Browse...", "Exit", "Target Folder:", 47, "Dravolin 1.0\nUnattended CD copier",
    ">"};
constexpr TemplateTexts kRussianTemplate{
    "Dravolin", "Выбор...", "Выход", "Целевой каталог:", 62, "Dravolin 1.0\nUnattended CD copier",
    ">"};

}  // namespace

Language LanguageOf(const QLocale& locale) {
    return locale.language() == QLocale::Russian ? Language::Russian : Language::English;
}

const TemplateTexts& TextsOf(Language language) {
    return language == Language::Russian ? kRussianTemplate : kEnglishTemplate;
}

std::string QtResources::LoadString(std::uint32_t id) const {
    for (const auto& [key, text] : language_ == Language::Russian ? kRussian : kEnglish) {
        if (key == id) return text;
    }
    return {};
}

QtResources::QtResources(Language language) : language_(language) {
    InitIconResources();
}

IconPtr QtResources::LoadIcon(std::uint32_t id) const {
    const QString path = QStringLiteral(":/dravolin/%1.svg").arg(id);
    if (!QFile::exists(path)) return nullptr;
    return std::make_unique<QtIcon>(QIcon(path));
}

}  // namespace dravolin::qt

#include "platform/qt/texts/Translation.h"

// The compiled files are embedded in this static library under :/dravolin/i18n
// (platform/qt/CMakeLists.txt): the resource's initialiser must be named, or the linker drops
// it.
static void InitTranslationResources() {
    Q_INIT_RESOURCE(dravolin_translations);
}

namespace dravolin::qt {

Translation::Translation(Language language) : language_(language) {
    InitTranslationResources();
    const bool loaded = translator_.load(
        QStringLiteral(":/dravolin/i18n/dravolin_%1.qm").arg(QLatin1String(CodeOf(language))));
    Q_ASSERT(loaded);
    Q_UNUSED(loaded);
}

QString Translation::Text(const char* id) const {
    // Compiled by id, a file's texts are found with the id as source text and no context.
    QString text = translator_.translate(nullptr, id);
    return text.isNull() ? QString::fromLatin1(id) : text;
}

const char* Translation::CodeOf(Language language) {
    return language == Language::Russian ? "ru" : "en";
}

}  // namespace dravolin::qt

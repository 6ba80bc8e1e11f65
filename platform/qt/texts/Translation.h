#pragma once
#include <QString>
#include <QTranslator>
#include <array>
#include "platform/qt/texts/Language.h"

namespace dravolin::qt {

// The texts of the Qt desktop in one language, by string id. They come from the Qt translation
// file of the language, translations/dravolin_<code>.ts, which the build compiles to .qm
// (lrelease -idbased) and embeds in the program: a translator edits that file alone. Ids named
// like the Windows resources (IDS_..., IDC_..., IDD_MAIN) hold the texts both desktops share;
// dotted ids (copy..., menu..., store..., prepare..., session..., commandLine...) the texts only
// the Linux desktop shows.
class Translation {
  public:
    explicit Translation(Language language);
    Translation(const Translation&) = delete;
    Translation& operator=(const Translation&) = delete;

    // The text of `id`; the id itself when the file has none, so that a gap shows.
    QString Text(const char* id) const;

    Language language() const { return language_; }

    // The file's code: "en", "ru".
    static const char* CodeOf(Language language);

  private:
    Language language_;
    QTranslator translator_;
};

// The texts of one window in both languages, each loaded once from its file by `Load`: windows
// keep references to them. UI thread only.
template <typename Texts, Texts (*Load)(const Translation&)>
const Texts& LoadedTexts(Language language) {
    static const std::array<Texts, 2> loaded{Load(Translation(Language::English)),
                                             Load(Translation(Language::Russian))};
    return loaded[language == Language::Russian ? 1 : 0];
}

}  // namespace dravolin::qt

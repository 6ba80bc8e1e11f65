#include "platform/qt/QtPathPreparer.h"

#include <QMessageBox>
#include "platform/qt/PathText.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {

// The texts of the box, which the program shows itself on Linux.
struct PrepareTexts {
    const char* title;
    const char* text;  // %1 the folder and the reason
};

constexpr PrepareTexts kEnglish{
    "Target Folder",
    "Cannot copy into the target folder:\n%1\n\nCorrect the folder and tick the drive again.",
};

constexpr PrepareTexts kRussian{
    "Целевой каталог",
    "Невозможно копировать в целевой каталог:\n%1\n\nИсправьте каталог и снова отметьте диск.",
};

const PrepareTexts& PrepareTextsOf(Language language) {
    return language == Language::Russian ? kRussian : kEnglish;
}

}  // namespace

std::int32_t QtPathPreparer::PrepareForWrite(WindowHandle owner, const std::string& path,
                                             std::uint32_t flags) {
    const std::int32_t result = folders_.PrepareForWrite(owner, path, flags);
    if (result == win::kSOk) return result;
    const PrepareTexts& texts = PrepareTextsOf(language_);
    // The reason begins with the folder's name, bytes as they are.
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(texts.title),
                    QString::fromUtf8(texts.text).arg(TextOfPath(folders_.LastError())),
                    QMessageBox::Ok, WidgetOf(owner));
    box.exec();
    return result;
}

}  // namespace dravolin::qt

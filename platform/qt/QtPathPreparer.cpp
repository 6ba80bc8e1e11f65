#include "platform/qt/QtPathPreparer.h"

#include <QMessageBox>
#include "platform/qt/PathText.h"
#include "platform/qt/PrepareTexts.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

std::int32_t QtPathPreparer::PrepareForWrite(WindowHandle owner, const std::string& path,
                                             std::uint32_t flags) {
    const std::int32_t result = folders_.PrepareForWrite(owner, path, flags);
    if (result == win::kSOk) return result;
    const PrepareTexts& texts = PrepareTextsOf(language_);
    // The reason begins with the folder's name, bytes as they are.
    QMessageBox box(QMessageBox::Warning, texts.title,
                    texts.cannotPrepare.arg(TextOfPath(folders_.LastError())), QMessageBox::Ok,
                    WidgetOf(owner));
    box.exec();
    return result;
}

}  // namespace dravolin::qt

#include "platform/qt/QtPathPreparer.h"

#include <QMessageBox>
#include "platform/qt/PathText.h"
#include "platform/qt/texts/Texts.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {

// The folder, or the refused target, and why.
QString Explanation(const lnx::LinuxPathPreparer& folders, const std::string& path,
                    const PrepareTexts& texts) {
    const QString what = TextOfPath(folders.LastError());
    switch (folders.LastRefusal()) {
        case lnx::TargetRefusal::DrivePath:
            return what + QStringLiteral(": ") + texts.drivePath;
        case lnx::TargetRefusal::NetworkName:
            return what + QStringLiteral(": ") + texts.networkName;
        case lnx::TargetRefusal::UnknownUser:
            return what + QStringLiteral(": ") +
                   texts.unknownUser.arg(TextOfPath(lnx::UserNameOf(path)));
        case lnx::TargetRefusal::None:
            break;
    }
    return what;  // the reason the system gave follows the folder
}

}  // namespace

std::int32_t QtPathPreparer::PrepareForWrite(WindowHandle owner, const std::string& path,
                                             std::uint32_t flags) {
    const std::int32_t result = folders_.PrepareForWrite(owner, path, flags);
    if (result == win::kSOk) return result;
    const PrepareTexts& texts = PrepareTextsOf(language_);
    // The reason begins with the folder's name, bytes as they are.
    QMessageBox box(QMessageBox::Warning, texts.title,
                    texts.cannotPrepare.arg(Explanation(folders_, path, texts)), QMessageBox::Ok,
                    WidgetOf(owner));
    box.exec();
    return result;
}

}  // namespace dravolin::qt

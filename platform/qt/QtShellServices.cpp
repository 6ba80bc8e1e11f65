#include "platform/qt/QtShellServices.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QThread>
#include <QUrl>
#include "platform/linux/paths/TargetPaths.h"
#include "platform/qt/PathText.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {

bool OnUiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace

void QtAutoComplete::Enable(WindowHandle edit, std::uint32_t) {
    auto* field = qobject_cast<QLineEdit*>(WidgetOf(edit));
    if (!field) return;
    // Both belong to the field's parent (the combo box), which outlives every completion.
    auto model = std::make_unique<QFileSystemModel>(field->parent());
    model->setRootPath(QString());
    model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Drives);
    auto completer = std::make_unique<QCompleter>(field->parent());
    completer->setModel(model.release());
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    QCompleter* raw = completer.release();
    // A combo box would replace a completer set on its field; its own takes the field's.
    if (auto* combo = qobject_cast<QComboBox*>(field->parent())) {
        combo->setCompleter(raw);
    } else {
        field->setCompleter(raw);
    }
    // Inline completion: the common rest of the single candidate, selected so that typing on
    // replaces it.
    // Only a text that grew is completed: erasing must not bring the completion back.
    QObject::connect(field, &QLineEdit::textEdited, raw,
                     [field, raw, before = QString()](const QString& typed) mutable {
                         const bool grew = typed.size() > before.size() && typed.startsWith(before);
                         before = typed;
                         if (!grew || raw->completionCount() == 0) return;
                         raw->setCurrentRow(0);
                         const QString candidate = raw->currentCompletion();
                         const QString prefix = raw->completionPrefix();
                         if (!candidate.startsWith(typed) || candidate.size() <= typed.size() ||
                             prefix != typed) {
                             return;
                         }
                         field->setText(candidate);
                         field->setSelection(static_cast<int>(typed.size()),
                                             static_cast<int>(candidate.size() - typed.size()));
                     });
}

std::string QtFolderPicker::StartFolder() {
    const QString user = qEnvironmentVariable("USER");
    if (!user.isEmpty()) {
        for (const QString& root : {QStringLiteral("/run/media/"), QStringLiteral("/media/")}) {
            if (QDir(root + user).exists()) return (root + user).toStdString();
        }
    }
    return QDir(QStringLiteral("/media")).exists() ? "/media" : "/";
}

QtFolderPicker::QtFolderPicker(Chooser chooser, Places places) : chooser_(std::move(chooser)) {
    if (chooser_) return;
    chooser_ = [places = std::move(places)](QWidget* owner, const QString& title,
                                            const QUrl& start) {
        QFileDialog dialog(owner, title);
        dialog.setDirectoryUrl(start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setSupportedSchemes({QStringLiteral("file")});
        // The side bar keeps the desktop's places and adds every drive's disc where it is
        // mounted. (A desktop's own chooser, where there is one, lists the mounted discs itself.)
        QList<QUrl> side = dialog.sidebarUrls();
        for (const std::string& place : places ? places() : std::vector<std::string>()) {
            const QUrl url = UrlOfPath(place);
            if (!url.isEmpty() && !side.contains(url)) side.append(url);
        }
        dialog.setSidebarUrls(side);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty()) return QUrl();
        return dialog.selectedUrls().front();
    };
}

std::optional<std::string> QtFolderPicker::Browse(const Request& request) {
    // A URL, not a QString: a name that is not UTF-8 survives only in its percent escapes.
    return PathOfChosenUrl(chooser_(WidgetOf(request.owner), QString::fromStdString(request.title),
                                    UrlOfPath(StartFolder())));
}

void QtShellOpen::Open(WindowHandle, const std::string& file, int) {
    QDesktopServices::openUrl(UrlOfPath(lnx::LocalPathOf(file)));
}

void QtWaitCursor::Begin() {
    if (OnUiThread()) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtWaitCursor::End() {
    if (OnUiThread()) QApplication::restoreOverrideCursor();
}

}  // namespace dravolin::qt

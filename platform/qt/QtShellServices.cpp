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
#include "platform/linux/TargetPaths.h"
#include "platform/qt/PathText.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {

// Runs `change` on the UI thread: at once when called there, queued from a worker.
template <typename Change>
void OnUiThread(Change change) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        change();
    } else {
        QMetaObject::invokeMethod(app, change, Qt::QueuedConnection);
    }
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

QtFolderPicker::QtFolderPicker(Chooser chooser) : chooser_(std::move(chooser)) {
    if (chooser_) return;
    chooser_ = [](QWidget* owner, const QString& title, const QUrl& start) {
        return QFileDialog::getExistingDirectoryUrl(owner, title, start, QFileDialog::ShowDirsOnly,
                                                    {QStringLiteral("file")});
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
    OnUiThread([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void QtWaitCursor::End() {
    OnUiThread([] { QApplication::restoreOverrideCursor(); });
}

}  // namespace dravolin::qt

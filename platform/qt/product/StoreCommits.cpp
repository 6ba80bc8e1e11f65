#include "platform/qt/product/StoreCommits.h"

#include <QFile>
#include <QMessageBox>
#include "platform/linux/io/ErrorText.h"
#include "platform/qt/QtDialog.h"
#include "platform/qt/texts/Texts.h"

namespace dravolin::qt {

StoreCommits::StoreCommits(lnx::LinuxRegistry& registry, const QtDialogHost& host,
                           Language language)
    : registry_(registry), host_(host), language_(language) {
    // A write that failed on the store's writer thread is told here, on the UI thread; the
    // posted call is dropped if this object goes first.
    registry_.SetStoreListener(this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { registry_.TellFailures(); }, Qt::QueuedConnection);
    });
}

StoreCommits::~StoreCommits() {
    registry_.SetStoreListener(nullptr);
}

void StoreCommits::CommitNow() {
    registry_.Flush();
}

void StoreCommits::OnWritePending() {
    if (scheduled_) return;
    scheduled_ = true;
    // Runs once the event that wrote has been handled; dropped if this object goes first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            registry_.Commit();
        },
        Qt::QueuedConnection);
}

void StoreCommits::OnWriteFailed(const std::string& path, int error) {
    if (told_) return;
    told_ = true;  // before the box: its loop may commit, and fail, again
    const StoreTexts& texts = StoreTextsOf(language_);
    const QString reason = error == lnx::kStoreNotAFile
                               ? texts.notAFile
                               : QString::fromLocal8Bit(lnx::ErrorText(error).c_str());
    Show(texts.cannotSave.arg(QFile::decodeName(path.c_str()), reason));
}

void StoreCommits::OnDamagedKept(const std::string& path, const std::string& backup) {
    if (toldDamage_) return;
    toldDamage_ = true;
    Show(StoreTextsOf(language_).damaged.arg(QFile::decodeName(path.c_str()),
                                             QFile::decodeName(backup.c_str())));
}

void StoreCommits::Show(const QString& text) {
    QMessageBox box(QMessageBox::Warning, StoreTextsOf(language_).title, text, QMessageBox::Ok,
                    host_.Current());
    box.exec();
}

}  // namespace dravolin::qt

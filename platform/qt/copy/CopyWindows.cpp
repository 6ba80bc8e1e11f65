#include "platform/qt/copy/CopyWindows.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <vector>
#include <utility>

namespace dravolin::qt {

namespace {

constexpr int kProgressWidth = 420;

QString FormatTime(std::int64_t seconds) {
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat);
}

// Permille of done over total; 0 when there is no total.
int Permille(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    return static_cast<int>(std::min<std::uint64_t>(1000, done * 1000 / total));
}

using Buttons = std::vector<std::pair<QString, int>>;

std::unique_ptr<QMessageBox> MakePrompt(QWidget& owner, QMessageBox::Icon icon,
                                        const QString& title, const QString& text,
                                        const Buttons& buttons, int cancelAnswer,
                                        std::function<void(int)> answer) {
    auto box = std::make_unique<QMessageBox>(icon, title, text, QMessageBox::NoButton, &owner);
    box->setWindowModality(Qt::NonModal);
    std::map<QAbstractButton*, int> answers;
    QPushButton* first = nullptr;
    QPushButton* cancel = nullptr;
    for (const auto& [label, value] : buttons) {
        QPushButton* button = box->addButton(label, QMessageBox::ActionRole);
        answers[button] = value;
        if (!first) first = button;
        if (value == cancelAnswer) cancel = button;
    }
    box->setDefaultButton(first);
    box->setEscapeButton(cancel);
    // Every way a prompt ends passes here once: a button, Escape (which clicks Cancel) and the
    // close box (which clicks nothing). Without a button clicked the answer is Cancel's, so the
    // worker never waits for an answer that will not come.
    QMessageBox* raw = box.get();
    QObject::connect(raw, &QDialog::finished, raw, [raw, answers, cancelAnswer, answer](int) {
        auto it = answers.find(raw->clickedButton());
        answer(it == answers.end() ? cancelAnswer : it->second);
    });
    return box;
}

}  // namespace

ProgressWindow::ProgressWindow(QWidget& owner, const CopyTexts& texts, const QString& drive,
                               const QString& source, const QString& target,
                               std::function<void()> onCancel)
    : QWidget(&owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), texts_(texts) {
    setWindowTitle(texts.progressTitle.arg(drive));
    auto layout = std::make_unique<QVBoxLayout>();
    auto addLabel = [&](const QString& text) {
        auto label = std::make_unique<QLabel>(text);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(kProgressWidth);
        QLabel* raw = label.get();
        layout->addWidget(label.release());  // the layout's widget becomes this window's child
        return raw;
    };
    fromTo_ = addLabel(texts.fromTo.arg(source, target));
    fromTo_->setWordWrap(true);
    file_ = addLabel(QString());
    auto bar = std::make_unique<QProgressBar>();
    bar->setRange(0, 1000);
    bar_ = bar.get();
    layout->addWidget(bar.release());
    bytes_ = addLabel(QString());
    files_ = addLabel(QString());
    rate_ = addLabel(QString());
    auto cancel = std::make_unique<QPushButton>(texts.cancel);
    cancel_ = cancel.get();
    layout->addWidget(cancel.release(), 0, Qt::AlignRight);
    setLayout(layout.release());
    connect(cancel_, &QPushButton::clicked, this, [this, onCancel = std::move(onCancel)] {
        cancel_->setEnabled(false);
        onCancel();
    });
    clock_.start();
}

// The window goes when its copy has ended; closing it, like Escape, is its Cancel.
void ProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (cancel_->isEnabled()) cancel_->click();
}

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        if (cancel_->isEnabled()) cancel_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ProgressWindow::Update(const lnx::CopyProgress& progress) {
    file_->setText(QString::fromStdString(progress.currentFile));
    bytes_->setText(texts_.bytes.arg(FormatBytes(progress.bytesDone, texts_),
                                     FormatBytes(progress.bytesTotal, texts_)));
    files_->setText(texts_.files.arg(progress.filesDone).arg(progress.filesTotal));
    const double seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
    const auto perSecond =
        seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(progress.bytesDone) / seconds)
                    : 0;
    rate_->setText(texts_.rate.arg(FormatBytes(perSecond, texts_)));
    bar_->setValue(Permille(progress.bytesDone, progress.bytesTotal));
}

QString ProgressWindow::FromToText() const {
    return fromTo_->text();
}
QString ProgressWindow::FileText() const {
    return file_->text();
}
QString ProgressWindow::BytesText() const {
    return bytes_->text();
}
QString ProgressWindow::FilesText() const {
    return files_->text();
}
QString ProgressWindow::RateText() const {
    return rate_->text();
}

std::unique_ptr<QMessageBox> MakeReplacePrompt(QWidget& owner, const CopyTexts& texts,
                                               const lnx::ReplaceQuestion& view,
                                               std::function<void(int)> answer) {
    const QString text = texts.replaceText.arg(
        QString::fromStdString(view.targetPath), FormatBytes(view.existingSize, texts),
        FormatTime(view.existingModified), FormatBytes(view.incomingSize, texts),
        FormatTime(view.incomingModified));
    const Buttons buttons{{texts.yes, static_cast<int>(lnx::ReplaceDecision::Replace)},
                          {texts.yesToAll, static_cast<int>(lnx::ReplaceDecision::ReplaceAll)},
                          {texts.no, static_cast<int>(lnx::ReplaceDecision::Skip)},
                          {texts.noToAll, static_cast<int>(lnx::ReplaceDecision::SkipAll)},
                          {texts.cancel, static_cast<int>(lnx::ReplaceDecision::Cancel)}};
    return MakePrompt(owner, QMessageBox::Question, texts.replaceTitle, text, buttons,
                      static_cast<int>(lnx::ReplaceDecision::Cancel), std::move(answer));
}

std::unique_ptr<QMessageBox> MakeErrorPrompt(QWidget& owner, const CopyTexts& texts,
                                             const lnx::CopyFailure& view, const QString& drive,
                                             std::function<void(int)> answer) {
    const Buttons buttons{{texts.retry, static_cast<int>(lnx::ErrorDecision::Retry)},
                          {texts.skip, static_cast<int>(lnx::ErrorDecision::Skip)},
                          {texts.cancel, static_cast<int>(lnx::ErrorDecision::Cancel)}};
    QString text = QString::fromStdString(view.text);
    if (view.mount) {
        // Only the catch-all text takes the system's own words; the others say what they mean.
        const QString& problem = texts.mountProblems[static_cast<int>(*view.mount)];
        text =
            *view.mount == lnx::MountProblem::Other ? problem.arg(drive, text) : problem.arg(drive);
    }
    return MakePrompt(owner, QMessageBox::Warning, texts.errorTitle, text, buttons,
                      static_cast<int>(lnx::ErrorDecision::Cancel), std::move(answer));
}

}  // namespace dravolin::qt

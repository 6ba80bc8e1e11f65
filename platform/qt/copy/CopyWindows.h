#pragma once
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/qt/texts/Texts.h"

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace dravolin::qt {

// The progress of one copy: the drive (as the dialog's list names it), the folder its disc is
// read from and the target folder, the file being copied, bytes and files done, the rate, and
// Cancel, which Escape and the close box press too. UI thread only.
class ProgressWindow : public QWidget {
  public:
    ProgressWindow(QWidget& owner, const CopyTexts& texts, const QString& drive,
                   const QString& source, const QString& target, std::function<void()> onCancel);
    void Update(const lnx::CopyProgress& progress);

    QString FromToText() const;
    QString FileText() const;
    QString BytesText() const;
    QString FilesText() const;
    QString RateText() const;
    QPushButton& CancelButton() const { return *cancel_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    const CopyTexts& texts_;
    QElapsedTimer clock_;
    QLabel* fromTo_;
    QLabel* file_;
    QLabel* bytes_;
    QLabel* files_;
    QLabel* rate_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

// The replace question (Yes, Yes to all, No, No to all, Cancel) and the error question
// (Retry, Skip, Cancel), shown without blocking the UI thread; `answer` gets the answer as
// lnx::ReplaceDecision or lnx::ErrorDecision, once. Escape and the close box are Cancel. An error
// about a disc that could not be mounted names `drive` and says what the system's answer means. UI
// thread only.
std::unique_ptr<QMessageBox> MakeReplacePrompt(QWidget& owner, const CopyTexts& texts,
                                               const lnx::ReplaceQuestion& view,
                                               std::function<void(int)> answer);
std::unique_ptr<QMessageBox> MakeErrorPrompt(QWidget& owner, const CopyTexts& texts,
                                             const lnx::CopyFailure& view, const QString& drive,
                                             std::function<void(int)> answer);

}  // namespace dravolin::qt

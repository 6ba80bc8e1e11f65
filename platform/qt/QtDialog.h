#pragma once
#include <QDialog>
#include <QPushButton>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include "platform/DialogWindow.h"
#include "platform/qt/QtComboBoxEx.h"
#include "platform/qt/QtListView.h"
#include "platform/qt/QtResources.h"

class QLabel;
class QTimer;

namespace dravolin::qt {

// The main dialog as a QDialog built from the template, and the window the core drives. Every
// event goes to the core's message hook in the form the core routes: timer ticks, button
// commands, the drive list's double and right clicks, painting and destruction.
// UI thread only.
class QtDialog : public QDialog, public DialogWindow {
  public:
    QtDialog(CCopyDlg& core, const TemplateTexts& texts);
    ~QtDialog() override;

    // DialogWindow.
    WindowHandle GetHandle() const override;
    ListView& DriveList(int controlId) override;
    ComboBoxEx& TargetCombo(int controlId) override;
    void SetIcon(const Icon& icon, bool big) override;
    void UpdateWindow() override;
    Rect GetClientRect() const override;
    Point ScreenToClient(Point screen) const override;
    bool IsIconic() const override { return isMinimized(); }
    std::uint32_t SetTimer(std::uint32_t id, std::uint32_t milliseconds) override;
    void KillTimer(std::uint32_t id) override;
    void SetMsgResult(std::intptr_t result) override { msgResult_ = result; }
    std::intptr_t Default(std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) override;
    void EraseIconBackground() override;
    void DrawIcon(Point at, const Icon& icon) override;
    void SetCaption(const std::string& text) override;

    // Routes WM_DESTROY once, while every widget still exists. The host calls it when the
    // modal loop has ended.
    void Destroy();

    // Runs each timer tick (`tick` routes it to the core), so that the program can set up
    // what the poll needs around it and measure it. Without one the tick runs alone.
    using TickRunner = std::function<void(const std::function<void()>& tick)>;
    void SetTickRunner(TickRunner runner) { tickRunner_ = std::move(runner); }

    // For the host and the tests.
    QPushButton* Button(int id) const;
    QTreeWidget& DriveTree() const { return *tree_; }
    QComboBox& Target() const { return *combo_; }
    QLabel* TargetLabel() const { return targetLabel_; }
    QLabel* ProductCaption() const { return productLabel_; }
    bool HasTimer(std::uint32_t id) const { return timers_.count(id) != 0; }
    std::intptr_t MsgResult() const { return msgResult_; }

    // Enter and the IDOK command go to the core, which ignores them; Escape, the close box and
    // Exit end the dialog as IDCANCEL.
    void accept() override;
    void reject() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool Route(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
               std::intptr_t* result = nullptr);
    void Command(int id);
    void NotifyDrives(std::int32_t code);
    void BuildControls(const TemplateTexts& texts);

    CCopyDlg& core_;
    QTreeWidget* tree_ = nullptr;
    QComboBox* combo_ = nullptr;
    QLabel* targetLabel_ = nullptr;
    QLabel* productLabel_ = nullptr;
    std::map<int, QPushButton*> buttons_;
    std::unique_ptr<QtListView> list_;
    std::unique_ptr<QtComboBoxEx> target_;
    std::map<std::uint32_t, std::unique_ptr<QTimer>> timers_;
    TickRunner tickRunner_;
    QPaintEvent* painting_ = nullptr;
    std::intptr_t msgResult_ = 0;
    bool destroyed_ = false;
};

}  // namespace dravolin::qt

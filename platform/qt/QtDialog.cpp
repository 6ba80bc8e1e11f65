#include "platform/qt/QtDialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include "app/CopyDlg.h"
#include "platform/qt/DialogTemplate.h"
#include "platform/qt/QtIcon.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {
constexpr Qt::WindowFlags kDialogFlags = Qt::Window | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
}  // namespace

QtDialog::QtDialog(CCopyDlg& core, const TemplateTexts& texts)
    : QDialog(nullptr, kDialogFlags), core_(core) {
    setWindowTitle(texts.caption);
    BuildControls(texts);
}

QtDialog::~QtDialog() {
    timers_.clear();
}

void QtDialog::BuildControls(const TemplateTexts& texts) {
    const QSize base = DialogBaseUnits(QFontMetrics(font()));
    setFixedSize(UnitsToPixels({0, 0, kDialogWidthUnits, kDialogHeightUnits}, base).size());

    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < kMainTemplate.size(); ++i) {
        const ControlTemplate& control = kMainTemplate[i];
        QRect geometry = UnitsToPixels(control.UnitsIn(texts.language == Language::Russian), base);
        QWidget* widget = nullptr;
        switch (control.kind) {
            case ControlTemplate::Kind::PushButton: {
                const QString& text = control.id == win::kIdCancel ? texts.exit
                                      : control.id == IDC_BROWSE   ? texts.browse
                                                                   : texts.openTarget;
                auto* button = new QPushButton(text, this);
                button->setAutoDefault(true);
                button->setDefault(control.defaultButton);
                const int id = control.id;
                connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
                buttons_[id] = button;
                widget = button;
                break;
            }
            case ControlTemplate::Kind::ListView:
                tree_ = new QTreeWidget(this);
                tree_->setObjectName(QStringLiteral("drives"));
                tree_->viewport()->installEventFilter(this);
                list_ = std::make_unique<QtListView>(*tree_);
                widget = tree_;
                break;
            case ControlTemplate::Kind::ComboBox:
                combo_ = new QComboBox(this);
                combo_->setObjectName(QStringLiteral("target"));
                target_ = std::make_unique<QtComboBoxEx>(*combo_);
                // The template's height is that of the drop-down list; the field keeps its own.
                geometry.setHeight(combo_->sizeHint().height());
                widget = combo_;
                break;
            case ControlTemplate::Kind::Label: {
                const bool product = i == kProductCaptionIndex;
                auto* label = new QLabel(product ? texts.product : texts.targetLabel, this);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                // The template's widths were made for the Windows dialog font; a wider desktop
                // font must not cut the text, and nothing stands to the right of a label.
                geometry.setWidth(std::max(geometry.width(), label->sizeHint().width()));
                (product ? productLabel_ : targetLabel_) = label;
                widget = label;
                break;
            }
        }
        widget->setGeometry(geometry);
        widget->setEnabled(!control.disabled);
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previous) setTabOrder(previous, widget);
            previous = widget;
        }
    }
}

WindowHandle QtDialog::GetHandle() const {
    return HandleOf(this);
}

ListView& QtDialog::DriveList(int) {
    return *list_;
}

ComboBoxEx& QtDialog::TargetCombo(int) {
    return *target_;
}

void QtDialog::SetIcon(const Icon& icon, bool) {
    // One icon serves every size on Qt.
    setWindowIcon(ToQIcon(icon));
}

// Paints at once what the rows' changes left to paint, as UpdateWindow does: the dialog shows
// a row's new state before the handler goes on, also when that handler then waits in a nested
// loop. Nothing is painted when no row changed, so an unchanged tick stays cheap.
void QtDialog::UpdateWindow() {
    if (list_ && list_->TakeChanged()) repaint();
}

Rect QtDialog::GetClientRect() const {
    return {0, 0, width(), height()};
}

Point QtDialog::ScreenToClient(Point screen) const {
    const QPoint client = mapFromGlobal(QPoint(screen.x, screen.y));
    return {client.x(), client.y()};
}

std::uint32_t QtDialog::SetTimer(std::uint32_t id, std::uint32_t milliseconds) {
    if (id == 0) return 0;
    std::unique_ptr<QTimer>& timer = timers_[id];
    if (!timer) {
        // A child, so that a timer killed after the last event loop still goes with the dialog.
        timer = std::make_unique<QTimer>(this);
        connect(timer.get(), &QTimer::timeout, this, [this, id] {
            const auto tick = [this, id] { Route(win::kWmTimer, id, 0); };
            if (tickRunner_) {
                tickRunner_(tick);
            } else {
                tick();
            }
        });
    }
    timer->start(static_cast<int>(milliseconds));
    return id;
}

void QtDialog::KillTimer(std::uint32_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // A tick's handler may kill its own timer: the object goes once the signal has returned.
    it->second->stop();
    it->second.release()->deleteLater();
    timers_.erase(it);
}

std::intptr_t QtDialog::Default(std::uint32_t message, std::uintptr_t, std::intptr_t) {
    if (message == win::kWmPaint && painting_) QDialog::paintEvent(painting_);
    return 0;
}

void QtDialog::EraseIconBackground() {
    if (!painting_) return;
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
}

void QtDialog::DrawIcon(Point at, const Icon& icon) {
    if (!painting_) return;
    QPainter painter(this);
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize);
    ToQIcon(icon).paint(&painter, QRect(at.x, at.y, size, size));
}

// The core's texts are UTF-8, as QtResources gives them.
void QtDialog::SetCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void QtDialog::Destroy() {
    if (destroyed_) return;
    Route(win::kWmDestroy, 0, 0);
    destroyed_ = true;
    for (auto& [id, timer] : timers_) timer->stop();
}

QPushButton* QtDialog::Button(int id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void QtDialog::accept() {
    Command(win::kIdOk);
}

void QtDialog::reject() {
    Command(win::kIdCancel);
}

void QtDialog::paintEvent(QPaintEvent* event) {
    painting_ = event;
    if (!Route(win::kWmPaint, 0, 0)) QDialog::paintEvent(event);
    painting_ = nullptr;
}

bool QtDialog::eventFilter(QObject* watched, QEvent* event) {
    if (tree_ && watched == tree_->viewport()) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            // The list handles the click first, as the control does before it notifies.
            tree_->viewport()->removeEventFilter(this);
            QCoreApplication::sendEvent(watched, event);
            tree_->viewport()->installEventFilter(this);
            NotifyDrives(win::kNmDblClk);
            return true;
        }
        if (event->type() == QEvent::ContextMenu) {
            NotifyDrives(win::kNmRClick);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool QtDialog::Route(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                     std::intptr_t* result) {
    if (destroyed_) return false;
    std::intptr_t ignored = 0;
    return core_.OnWndMsg(message, wParam, lParam, result ? result : &ignored);
}

void QtDialog::Command(int id) {
    // BN_CLICKED (0) in the high word, the id in the low word.
    if (Route(win::kWmCommand, static_cast<std::uintptr_t>(id) & 0xFFFF, 0)) return;
    if (id == win::kIdOk) QDialog::accept();
    if (id == win::kIdCancel) QDialog::reject();
}

void QtDialog::NotifyDrives(std::int32_t code) {
    const NotifyHeader header{HandleOf(tree_), 1000, static_cast<std::uint32_t>(code)};
    Route(win::kWmNotify, 1000, reinterpret_cast<std::intptr_t>(&header));
}

}  // namespace dravolin::qt

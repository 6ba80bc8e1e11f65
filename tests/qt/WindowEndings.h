#pragma once
// The ways a user ends a window: its Cancel button, Escape, or the title bar's close box (which
// sends a close event and clicks nothing).
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QWidget>

namespace dravolin::qt::test {

enum class Ending { Button, Escape, CloseBox };
inline constexpr Ending kEndings[] = {Ending::Button, Ending::Escape, Ending::CloseBox};

inline QString NameOf(Ending ending) {
    switch (ending) {
        case Ending::Button:
            return QStringLiteral("Cancel button");
        case Ending::Escape:
            return QStringLiteral("Escape");
        case Ending::CloseBox:
            return QStringLiteral("close box");
    }
    return {};
}

// Ends `window` as a user would; `cancelLabel` names its Cancel button.
inline void End(QWidget& window, Ending ending,
                const QString& cancelLabel = QStringLiteral("Cancel")) {
    switch (ending) {
        case Ending::Button:
            for (QPushButton* button : window.findChildren<QPushButton*>()) {
                if (button->text() == cancelLabel) button->click();
            }
            break;
        case Ending::Escape:
            QTest::keyClick(&window, Qt::Key_Escape);
            break;
        case Ending::CloseBox:
            window.close();
            break;
    }
}

}  // namespace dravolin::qt::test

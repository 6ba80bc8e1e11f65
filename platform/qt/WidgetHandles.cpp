#include "platform/qt/WidgetHandles.h"

#include <QApplication>

namespace dravolin::qt {

WindowHandle HandleOf(const QWidget* widget) {
    return reinterpret_cast<WindowHandle>(widget);
}

QWidget* WidgetOf(WindowHandle handle) {
    if (handle == 0) return nullptr;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (HandleOf(widget) == handle) return widget;
    }
    return nullptr;
}

}  // namespace dravolin::qt

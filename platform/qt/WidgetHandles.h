#pragma once
#include <QWidget>
#include "platform/Types.h"

namespace dravolin::qt {

// A window handle on Qt is the widget's address. Handles come back from the core as plain
// numbers, so they are checked against the living widgets before use. UI thread only.
WindowHandle HandleOf(const QWidget* widget);
// The living widget with that handle, or null.
QWidget* WidgetOf(WindowHandle handle);

}  // namespace dravolin::qt

#pragma once
// Dialog units in pixels of the Qt dialog's font.
#include <QFontMetrics>
#include <QRect>
#include "platform/qt/MainTemplate.h"

namespace dravolin::qt {

// Dialog base units of a font: the average width of its Latin letters and its height, as the
// dialog manager measures them. A horizontal unit is a quarter of the width, a vertical unit
// an eighth of the height.
QSize DialogBaseUnits(const QFontMetrics& metrics);
QRect UnitsToPixels(const DialogUnits& units, QSize base);

}  // namespace dravolin::qt

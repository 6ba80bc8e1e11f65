#include "platform/qt/DialogTemplate.h"

namespace dravolin::qt {

namespace {
// Rounds a * b / c to the nearest integer, as MulDiv does.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>((product + c / 2) / c);
}
}  // namespace

QSize DialogBaseUnits(const QFontMetrics& metrics) {
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect UnitsToPixels(const DialogUnits& units, QSize base) {
    // Each value on its own, as the dialog manager creates a control from its template.
    return QRect(MulDiv(units.x, base.width(), 4), MulDiv(units.y, base.height(), 8),
                 MulDiv(units.width, base.width(), 4), MulDiv(units.height, base.height(), 8));
}

}  // namespace dravolin::qt

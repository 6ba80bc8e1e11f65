#pragma once
#include <QFontMetrics>
#include <QRect>
#include <array>
#include "platform/Types.h"

namespace dravolin::qt {

// The main dialog's template: size, controls in tab order and their rectangles in dialog units.
struct ControlTemplate {
    enum class Kind { PushButton, ListView, ComboBox, Label };
    int id;  // -1 for the static texts
    Kind kind;
    Rect units;  // left, top, width, height in dialog units (right/bottom hold width/height)
    bool defaultButton = false;
    bool disabled = false;
};

inline constexpr int kDialogWidthUnits = 284;
inline constexpr int kDialogHeightUnits = 105;
inline constexpr int kTargetLabelIndex = 4;
inline constexpr int kProductCaptionIndex = 5;

inline constexpr std::array<ControlTemplate, 7> kMainTemplate{{
    {3, ControlTemplate::Kind::PushButton, {227, 82, 50, 16}, true, false},
    {1000, ControlTemplate::Kind::ListView, {7, 7, 270, 40}},
    {1002, ControlTemplate::Kind::ComboBox, {7, 59, 257, 130}},
    {2, ControlTemplate::Kind::PushButton, {173, 82, 50, 16}},
    {-1, ControlTemplate::Kind::Label, {7, 49, 47, 8}},
    {-1, ControlTemplate::Kind::Label, {7, 80, 157, 18}, false, true},
    {1004, ControlTemplate::Kind::PushButton, {265, 59, 12, 14}},
}};

// Dialog base units of a font: the average width of its Latin letters and its height, as the
// dialog manager measures them. A horizontal unit is a quarter of the width, a vertical unit
// an eighth of the height.
QSize DialogBaseUnits(const QFontMetrics& metrics);
QRect UnitsToPixels(int x, int y, int width, int height, QSize base);

}  // namespace dravolin::qt

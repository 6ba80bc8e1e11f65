#pragma once
// The main dialog's template as plain data, in the terms of a Windows dialog template: the Qt
// dialog is built from it, and the Windows tests hold the executable's own IDD_MAIN against it,
// so that the two desktops show the same dialog. No Qt or Windows header here.
#include <array>
#include "app/Resource.h"
#include "platform/Types.h"

namespace dravolin::qt {

// A control's place in dialog units, as a template gives it.
struct DialogUnits {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const DialogUnits&, const DialogUnits&) = default;
};

struct ControlTemplate {
    enum class Kind { PushButton, ListView, ComboBox, Label };
    int id;  // -1 for the static texts
    Kind kind;
    DialogUnits units;
    bool defaultButton = false;
    bool disabled = false;
    int russianWidth = 0;  // a wider field for a longer Russian text; 0 keeps the English one

    constexpr DialogUnits UnitsIn(bool russian) const {
        DialogUnits in = units;
        if (russian && russianWidth != 0) in.width = russianWidth;
        return in;
    }
    // Every control but a static text takes the focus, in the template's order.
    constexpr bool TabStop() const { return kind != Kind::Label; }
};

inline constexpr int kDialogWidthUnits = 284;
inline constexpr int kDialogHeightUnits = 105;
inline constexpr std::size_t kProductCaptionIndex = 5;

// The controls in creation order, which is the tab order.
inline constexpr std::array<ControlTemplate, 7> kMainTemplate{{
    {IDC_BROWSE, ControlTemplate::Kind::PushButton, {227, 82, 50, 16}, true},
    {IDC_DRIVES, ControlTemplate::Kind::ListView, {7, 7, 270, 40}},
    {IDC_TARGET, ControlTemplate::Kind::ComboBox, {7, 59, 257, 130}},
    {static_cast<int>(win::kIdCancel), ControlTemplate::Kind::PushButton, {173, 82, 50, 16}},
    {-1, ControlTemplate::Kind::Label, {7, 49, 47, 8}, false, false, 62},
    {-1, ControlTemplate::Kind::Label, {7, 80, 157, 18}, false, true},
    {IDC_OPEN_TARGET, ControlTemplate::Kind::PushButton, {265, 59, 12, 14}},
}};

}  // namespace dravolin::qt

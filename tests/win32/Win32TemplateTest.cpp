// The dialog template IDD_MAIN in both languages, read from the executable's resources, against
// the template the Qt dialog is built from (platform/qt/MainTemplate.h): the same controls in the
// same order (the tab order), with the same ids, kinds, rectangles and the style bits the Qt
// widgets reproduce, so that the two desktops cannot drift apart. The texts are held against
// the Qt translations by the Qt tests, and the created controls by Win32LanguageTest.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <cwctype>
#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/qt/MainTemplate.h"

namespace dravolin::win32::test {
namespace {

using qt::ControlTemplate;
using qt::kMainTemplate;

// A reader of the extended template's variable-length fields.
class TemplateReader {
  public:
    TemplateReader(const BYTE* data, DWORD size) : data_(data), size_(size) {}
    template <typename T>
    T Read() {
        T value{};
        if (pos_ + sizeof(T) <= size_) std::memcpy(&value, data_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }
    // A name or an ordinal: an ordinal reads as "#<number>".
    std::wstring NameOrOrdinal() {
        const WORD first = Read<WORD>();
        if (first == 0x0000) return std::wstring();
        if (first == 0xFFFF) {
            std::wstring ordinal = std::to_wstring(Read<WORD>());
            ordinal.insert(ordinal.begin(), L'#');
            return ordinal;
        }
        pos_ -= sizeof(WORD);
        return String();
    }
    std::wstring String() {
        std::wstring text;
        for (WORD c = Read<WORD>(); c != 0 && pos_ <= size_; c = Read<WORD>()) {
            text.push_back(static_cast<wchar_t>(c));
        }
        return text;
    }
    void AlignTo(std::size_t bytes) { pos_ = (pos_ + bytes - 1) / bytes * bytes; }
    void Skip(std::size_t bytes) { pos_ += bytes; }
    bool Overrun() const { return pos_ > size_; }

  private:
    const BYTE* data_;
    DWORD size_;
    std::size_t pos_ = 0;
};

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// What a kind of control of the Qt template is on Windows: its window class ("#128" a button,
// "#130" a static text); under `mask`, the style bits that its Qt widget reproduces; and the
// bits that only the Windows control has a use for, which it must carry as well.
struct WindowsKind {
    ControlTemplate::Kind kind;
    const wchar_t* className;
    DWORD mask;
    DWORD bits;  // a push button's type follows the template's default button
    DWORD windowsBits;
};
constexpr std::array<WindowsKind, 4> kKinds{{
    {ControlTemplate::Kind::PushButton, L"#128", BS_TYPEMASK, BS_PUSHBUTTON, 0},
    // Rows in report view without a header, several of them selectable at once. The image
    // lists are the dialog's: the list must not destroy them.
    {ControlTemplate::Kind::ListView, L"SysListView32",
     LVS_TYPEMASK | LVS_NOCOLUMNHEADER | LVS_SINGLESEL, LVS_REPORT | LVS_NOCOLUMNHEADER,
     LVS_SHAREIMAGELISTS | LVS_NOLABELWRAP | LVS_ALIGNLEFT | LVS_NOSORTHEADER | WS_BORDER},
    // An editable field with a drop-down list.
    {ControlTemplate::Kind::ComboBox, L"ComboBoxEx32", CBS_DROPDOWNLIST, CBS_DROPDOWN,
     CBS_SORT | WS_VSCROLL},
    {ControlTemplate::Kind::Label, L"#130", SS_TYPEMASK, SS_LEFT, WS_GROUP},
}};

const WindowsKind& OnWindows(ControlTemplate::Kind kind) {
    for (const WindowsKind& row : kKinds) {
        if (row.kind == kind) return row;
    }
    return kKinds[0];
}

// A rectangle as x, y, width, height, printed readably when two differ.
using Units = std::array<int, 4>;
Units ToArray(const qt::DialogUnits& units) {
    return {units.x, units.y, units.width, units.height};
}

struct Language {
    const char* name;
    WORD id;
    bool russian;
};

void PrintTo(const Language& language, std::ostream* out) {
    *out << language.name;
}

class DialogTemplate : public testing::TestWithParam<Language> {};

TEST_P(DialogTemplate, IsTheQtTemplate) {
    const Language& language = GetParam();
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    HRSRC resource =
        ::FindResourceExA(instance, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_MAIN), language.id);
    ASSERT_NE(resource, nullptr);
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(instance, resource)));
    TemplateReader in(data, ::SizeofResource(instance, resource));

    ASSERT_EQ(in.Read<WORD>(), 1);       // extended template
    ASSERT_EQ(in.Read<WORD>(), 0xFFFF);  // signature
    in.Read<DWORD>();                    // help id
    // A taskbar button; a caption with a system menu and a minimise box, but no maximise box.
    EXPECT_NE(in.Read<DWORD>() & WS_EX_APPWINDOW, 0u);
    constexpr DWORD kFrame =
        DS_SHELLFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(in.Read<DWORD>() & (kFrame | WS_MAXIMIZEBOX), kFrame);
    const WORD count = in.Read<WORD>();
    in.Skip(2 * sizeof(short));  // position: centred by the dialog manager
    EXPECT_EQ(in.Read<short>(), qt::kDialogWidthUnits);
    EXPECT_EQ(in.Read<short>(), qt::kDialogHeightUnits);
    EXPECT_TRUE(in.NameOrOrdinal().empty());  // no menu
    EXPECT_TRUE(in.NameOrOrdinal().empty());  // the standard dialog class
    in.String();                              // caption
    // The shell's dialog font, whose size the dialog units are measured in.
    EXPECT_EQ(in.Read<WORD>(), 8);
    in.Skip(sizeof(WORD) + 2 * sizeof(BYTE));  // weight, italic, character set
    EXPECT_EQ(in.String(), L"MS Shell Dlg");

    ASSERT_EQ(count, kMainTemplate.size());
    for (std::size_t i = 0; i < kMainTemplate.size(); ++i) {
        const ControlTemplate& control = kMainTemplate[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(control.id));
        in.AlignTo(4);
        in.Read<DWORD>();  // help id
        in.Read<DWORD>();  // extended style
        const DWORD style = in.Read<DWORD>();
        Units units{};
        for (int& value : units) value = in.Read<short>();
        EXPECT_EQ(units, ToArray(control.UnitsIn(language.russian)));
        EXPECT_EQ(static_cast<int>(in.Read<DWORD>()), control.id);
        const WindowsKind& kind = OnWindows(control.kind);
        // Class names are not case-sensitive (the resource compiler stores them upper-case).
        EXPECT_EQ(Upper(in.NameOrOrdinal()), Upper(kind.className));
        const DWORD type = control.defaultButton ? static_cast<DWORD>(BS_DEFPUSHBUTTON) : kind.bits;
        EXPECT_EQ(style & kind.mask, type);
        const DWORD always = WS_CHILD | WS_VISIBLE | kind.windowsBits;
        EXPECT_EQ(style & always, always);
        EXPECT_EQ((style & WS_TABSTOP) != 0, control.TabStop());
        EXPECT_EQ((style & WS_DISABLED) != 0, control.disabled);
        in.NameOrOrdinal();        // text
        in.Skip(in.Read<WORD>());  // creation data
    }
    EXPECT_FALSE(in.Overrun());
}

INSTANTIATE_TEST_SUITE_P(
    Languages, DialogTemplate,
    testing::Values(Language{"English", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), false},
                    Language{"Russian", MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), true}),
    [](const testing::TestParamInfo<Language>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::win32::test

// The dialog template IDD_MAIN in both languages, read from the executable's resources bit for
// bit: dialog and control styles, identifiers, classes, rectangles, texts, order (the tab
// order) and font.
#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include "Win32TestSupport.h"
#include "app/Resource.h"

namespace dravolin::win32::test {
namespace {

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

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                            wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(units));
    return wide;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

struct Control {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    int id;
    std::wstring className;  // "#128" button, "#130" static, or a class name
    std::string text;        // UTF-8
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

std::vector<Control> Expected(bool russian) {
    return {
        {kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 227, 82, 50, 16, IDC_BROWSE, L"#128",
         russian ? "Выбор..." : "Browse..."},
        {kChild | LVS_REPORT | LVS_SHAREIMAGELISTS | LVS_NOLABELWRAP | LVS_ALIGNLEFT |
             LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER | WS_BORDER | WS_TABSTOP,
         0, 7, 7, 270, 40, IDC_DRIVES, L"SysListView32", ""},
        {kChild | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 0, 7, 59, 257, 130, IDC_TARGET,
         L"ComboBoxEx32", ""},
        {kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 173, 82, 50, 16, IDCANCEL, L"#128",
         russian ? "Выход" : "Exit"},
        {kChild | WS_GROUP | SS_LEFT, 0, 7, 49, static_cast<short>(russian ? 62 : 47), 8, -1,
         L"#130", russian ? "Целевой каталог:" : "Target Folder:"},
        {kChild | WS_GROUP | WS_DISABLED | SS_LEFT, 0, 7, 80, 157, 18, -1, L"#130",
         "Dravolin 1.0\nUnattended CD copier"},
        {kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 265, 59, 12, 14, IDC_OPEN_TARGET, L"#128", ">"},
    };
}

void ExpectTemplate(WORD language, bool russian) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    HRSRC resource =
        ::FindResourceExA(instance, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_MAIN), language);
    ASSERT_NE(resource, nullptr);
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(instance, resource)));
    TemplateReader in(data, ::SizeofResource(instance, resource));

    EXPECT_EQ(in.Read<WORD>(), 1);       // extended template
    EXPECT_EQ(in.Read<WORD>(), 0xFFFF);  // signature
    in.Read<DWORD>();                    // help id
    EXPECT_EQ(in.Read<DWORD>(), static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(in.Read<DWORD>(), static_cast<DWORD>(DS_SHELLFONT | WS_POPUP | WS_VISIBLE |
                                                   WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    const WORD count = in.Read<WORD>();
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 284);
    EXPECT_EQ(in.Read<short>(), 105);
    EXPECT_TRUE(in.NameOrOrdinal().empty());  // no menu
    EXPECT_TRUE(in.NameOrOrdinal().empty());  // the standard dialog class
    EXPECT_EQ(in.String(), L"Dravolin");
    EXPECT_EQ(in.Read<WORD>(), 8);  // points
    in.Read<WORD>();                // weight
    in.Read<BYTE>();                // italic
    in.Read<BYTE>();                // character set
    EXPECT_EQ(in.String(), L"MS Shell Dlg");

    const std::vector<Control> expected = Expected(russian);
    ASSERT_EQ(count, expected.size());
    for (const Control& control : expected) {
        SCOPED_TRACE(control.text.empty() ? "control " + std::to_string(control.id) : control.text);
        in.AlignTo(4);
        in.Read<DWORD>();  // help id
        EXPECT_EQ(in.Read<DWORD>(), control.exStyle);
        EXPECT_EQ(in.Read<DWORD>(), control.style);
        EXPECT_EQ(in.Read<short>(), control.x);
        EXPECT_EQ(in.Read<short>(), control.y);
        EXPECT_EQ(in.Read<short>(), control.cx);
        EXPECT_EQ(in.Read<short>(), control.cy);
        EXPECT_EQ(static_cast<int>(in.Read<DWORD>()), control.id);
        // Class names are not case-sensitive (the resource compiler stores them upper-case).
        EXPECT_EQ(Upper(in.NameOrOrdinal()), Upper(control.className));
        EXPECT_EQ(in.NameOrOrdinal(), Wide(control.text));
        in.Skip(in.Read<WORD>());  // creation data
    }
    EXPECT_FALSE(in.Overrun());
}

TEST(DialogTemplate, TheEnglishTemplateHasItsControlsInTabOrder) {
    ExpectTemplate(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), false);
}

TEST(DialogTemplate, TheRussianTemplateHasItsControlsInTabOrder) {
    ExpectTemplate(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), true);
}

}  // namespace
}  // namespace dravolin::win32::test

// The dialog template and the strings in the user's language. CTest runs the English suites
// under an English locale and the Russian ones under ru_RU.UTF-8, where the ANSI code page is
// 1251 and the resource lookup picks the Russian resources.
#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "app/Resource.h"
#include "platform/qt/MainTemplate.h"
#include "platform/win32/Win32Desktop.h"

namespace dravolin::win32::test {
namespace {

// What the created controls must show in the user's language, in the template's order; their
// ids and places come from the template the Qt dialog is built from (kMainTemplate).
struct ControlRow {
    const char* className;
    std::string text;  // UTF-8
    DWORD styles;      // bits that must be set
};

constexpr const char* kCaption = "Dravolin 1.0\nUnattended CD copier";
// Styles as the created controls show them: the dialog manager turns a control's WS_BORDER into
// WS_EX_CLIENTEDGE, and the extended combo box takes WS_VSCROLL off its own style. The template's
// own bits are checked against the Qt template by Win32TemplateTest.
constexpr DWORD kListStyles = LVS_REPORT | LVS_SHAREIMAGELISTS | LVS_NOLABELWRAP | LVS_ALIGNLEFT |
                              LVS_NOCOLUMNHEADER | LVS_NOSORTHEADER | WS_TABSTOP;
constexpr DWORD kComboStyles = CBS_DROPDOWN | CBS_SORT | WS_TABSTOP;

std::vector<ControlRow> Template(bool russian) {
    return {
        {"Button", russian ? "Выбор..." : "Browse...", BS_DEFPUSHBUTTON | WS_TABSTOP},
        {"SysListView32", "", kListStyles},
        {"ComboBoxEx32", "", kComboStyles},
        {"Button", russian ? "Выход" : "Exit", WS_TABSTOP},
        {"Static", russian ? "Целевой каталог:" : "Target Folder:", 0},
        {"Static", kCaption, WS_DISABLED},
        {"Button", ">", WS_TABSTOP},
    };
}

void ExpectTemplate(bool russian) {
    TemplateDialog dialog;
    ASSERT_NE(dialog.Get(), nullptr);
    EXPECT_EQ(TextOf(dialog.Get()), "Dravolin");
    const LONG style = ::GetWindowLongA(dialog.Get(), GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_NE(::GetWindowLongA(dialog.Get(), GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);

    RECT size{0, 0, qt::kDialogWidthUnits, qt::kDialogHeightUnits};
    ::MapDialogRect(dialog.Get(), &size);
    RECT client{};
    ::GetClientRect(dialog.Get(), &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    // Children in creation order are the tab order.
    HWND child = ::GetWindow(dialog.Get(), GW_CHILD);
    const std::vector<ControlRow> rows = Template(russian);
    ASSERT_EQ(rows.size(), qt::kMainTemplate.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ControlRow& row = rows[i];
        const qt::ControlTemplate& control = qt::kMainTemplate[i];
        SCOPED_TRACE(row.text.empty() ? row.className : row.text);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(::GetDlgCtrlID(child) & 0xFFFF, control.id & 0xFFFF);
        EXPECT_EQ(ClassOf(child), row.className);
        if (control.id != IDC_DRIVES && control.id != IDC_TARGET) {
            EXPECT_EQ(TextOf(child), Ansi(row.text));
        }
        const DWORD childStyle = static_cast<DWORD>(::GetWindowLongA(child, GWL_STYLE));
        EXPECT_EQ(childStyle & row.styles, row.styles);

        // Position and size are converted apart, as the dialog manager converts them.
        const qt::DialogUnits units = control.UnitsIn(russian);
        RECT expected{units.x, units.y, units.width, units.height};
        ::MapDialogRect(dialog.Get(), &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        RECT actual{};
        ::GetWindowRect(child, &actual);
        ::MapWindowPoints(nullptr, dialog.Get(), reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right, expected.right);
        // The combo box's height is that of its edit field; 130 units is its drop-down.
        if (control.id != IDC_TARGET) {
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
        child = ::GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);
    HWND list = dialog.Item(IDC_DRIVES);
    EXPECT_TRUE((::GetWindowLongA(list, GWL_STYLE) & WS_BORDER) != 0 ||
                (::GetWindowLongA(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0);
    // Several drives can be selected at once.
    EXPECT_EQ(::GetWindowLongA(list, GWL_STYLE) & LVS_SINGLESEL, 0);
    // The first tab stop gets the focus: Browse, the default push button.
    EXPECT_EQ(::GetNextDlgTabItem(dialog.Get(), nullptr, FALSE), dialog.Item(IDC_BROWSE));
    EXPECT_EQ(LOWORD(::SendMessageA(dialog.Get(), DM_GETDEFID, 0, 0)), IDC_BROWSE);
}

void ExpectStrings(const std::vector<std::pair<int, std::string>>& table) {
    Win32Resources resources(::GetModuleHandleA(nullptr));
    for (const auto& [id, text] : table) {
        EXPECT_EQ(resources.LoadString(id), Ansi(text)) << id;
    }
    EXPECT_EQ(resources.LoadString(999), "");
}

TEST(EnglishResources, TheTemplateHasItsControlsTextsAndLayout) {
    ExpectTemplate(false);
}

TEST(EnglishResources, TheStringTableHoldsTheEnglishTexts) {
    ExpectStrings({{132, " "},
                   {133, "Disc ejecting"},
                   {134, "Waiting for new disc"},
                   {135, "Disc copying"},
                   {136, "Select target folder and press \"OK\" button."},
                   {137, "Drive"},
                   {138, "Status"},
                   {139, "Dravolin: archive mode"},
                   {140, "Disc archived: %1"},
                   {145, "The target disk is full: archiving has stopped on every drive"}});
}

TEST(RussianResources, TheRussianLocaleGivesCodePage1251) {
    EXPECT_EQ(::GetACP(), 1251u);
    EXPECT_EQ(PRIMARYLANGID(::GetUserDefaultUILanguage()), LANG_RUSSIAN);
}

TEST(RussianResources, TheTemplateHasItsControlsTextsAndLayout) {
    ExpectTemplate(true);
}

TEST(RussianResources, TheStringTableHoldsTheRussianTexts) {
    ExpectStrings({{132, " "},
                   {133, "Выброс диска"},
                   {134, "Ожидание загрузки нового диска"},
                   {135, "Копирование диска"},
                   {136, "Укажите целевой каталог, а затем нажмите кнопку \"OK\"."},
                   {137, "Диск"},
                   {138, "Состояние"},
                   {139, "Dravolin: режим архива"},
                   {142,
                    "Диск заархивирован с повреждёнными файлами, проверьте его; остальное может "
                    "прочитать другой дисковод: %1"},
                   {145, "Целевой диск заполнен: архивирование остановлено на всех дисководах"}});
}

TEST(EnglishResources, TheIconsAndTheVersionAreThere) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    for (int id : {IDR_MAINFRAME, IDI_DRIVE, IDI_FOLDER}) {
        EXPECT_NE(::LoadIconA(instance, MAKEINTRESOURCEA(id)), nullptr) << id;
    }
    HRSRC version = ::FindResourceA(instance, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(version, nullptr);
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(instance, version)));
    ASSERT_NE(data, nullptr);
    // VS_FIXEDFILEINFO follows the "VS_VERSION_INFO" key, aligned to 4 bytes.
    const DWORD size = ::SizeofResource(instance, version);
    const VS_FIXEDFILEINFO* info = nullptr;
    for (DWORD offset = 0; offset + sizeof(VS_FIXEDFILEINFO) <= size; offset += 4) {
        const auto* candidate = reinterpret_cast<const VS_FIXEDFILEINFO*>(data + offset);
        if (candidate->dwSignature == 0xFEEF04BD) {
            info = candidate;
            break;
        }
    }
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(info->dwProductVersionLS, 0x00000001u);
    // The manifest asks for version 6 of the common controls, and gets it.
    EXPECT_NE(::FindResourceA(instance, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr);
    // The process's activation context sends comctl32.dll to the version 6 assembly.
    ACTCTX_SECTION_KEYED_DATA redirection{};
    redirection.cbSize = sizeof(redirection);
    EXPECT_TRUE(::FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                           "comctl32.dll", &redirection));
}

}  // namespace
}  // namespace dravolin::win32::test

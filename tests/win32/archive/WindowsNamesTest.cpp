#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "platform/win32/archive/WindowsNames.h"

namespace dravolin::win32 {
namespace {

// `count` characters beyond the Basic Multilingual Plane: two UTF-16 units each.
std::wstring Pairs(std::size_t count) {
    std::wstring pairs;
    for (std::size_t i = 0; i < count; ++i) pairs += L"\xd83d\xde00";
    return pairs;
}

struct NameCase {
    std::wstring disc;
    std::wstring stored;
};

TEST(WindowsNamesTest, EachNameIsStoredUnderOneWindowsAccepts) {
    const std::wstring longStem(300, L'a');
    const NameCase cases[] = {
        {L"plain.txt", L"plain.txt"},
        {L"\u0424\u043e\u0442\u043e 2019.jpg", L"\u0424\u043e\u0442\u043e 2019.jpg"},
        {L" leading blank", L" leading blank"},
        // Device names, in any case, with any extension or blanks after.
        {L"CON", L"CON_"},
        {L"con.txt", L"con_.txt"},
        {L"Lpt9.tar.gz", L"Lpt9_.tar.gz"},
        {L"COM\u00b9", L"COM\u00b9_"},
        {L"CONOUT$", L"CONOUT$_"},
        {L"NUL .txt", L"NUL_ .txt"},
        {L"CONSOLE", L"CONSOLE"},
        {L"COM10", L"COM10"},
        // Trailing dots and blanks, which Windows would drop.
        {L"name.", L"name_"},
        {L"name. .", L"name___"},
        {L"..", L"__"},
        {L"", L"_"},
        // Characters Windows forbids, and halves of pairs.
        {L"a<b>c:d\"e/f\\g|h?i*j", L"a_b_c_d_e_f_g_h_i_j"},
        {L"tab\tline\nend\x1f", L"tab_line_end_"},
        {L"x\xd800y\xdc00", L"x_y_"},
        {L"\xd83d\xde00.png", L"\xd83d\xde00.png"},
        // The copy's own temporary form.
        {L".dravolin-1.part", L"_.dravolin-1.part"},
        {L".DRAVOLIN-x", L"_.DRAVOLIN-x"},
        // Too long: cut, extension kept.
        {longStem + L".txt", std::wstring(250, L'a') + L".txt"},
        // ...never between the halves of a pair.
        {L"b" + Pairs(150) + L".txt", L"b" + Pairs(124) + L".txt"},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(StoredName(c.disc), c.stored) << std::string(c.disc.begin(), c.disc.end());
    }
}

struct FolderCase {
    std::vector<std::wstring> disc;
    std::vector<std::wstring> stored;
};

TEST(WindowsNamesTest, NamesEqualButForCaseAreNumberedInTheirFolder) {
    const FolderCase cases[] = {
        {{L"A.TXT", L"a.txt"}, {L"A.TXT", L"a (2).txt"}},
        {{L"\u0424\u0430\u0439\u043b", L"\u0424\u0410\u0419\u041b"},
         {L"\u0424\u0430\u0439\u043b", L"\u0424\u0410\u0419\u041b (2)"}},
        // An unchanged name keeps its name over a changed one that would take it.
        {{L"a?", L"a_"}, {L"a_ (2)", L"a_"}},
        {{L"A", L"a", L"a (2)"}, {L"A", L"a (3)", L"a (2)"}},
        {{L"con", L"CON_"}, {L"con_ (2)", L"CON_"}},
        {{L".hidden", L".HIDDEN"}, {L".hidden", L".HIDDEN (2)"}},
        {{L"x", L"y"}, {L"x", L"y"}},
        // A number that needs room cuts the name, never between the halves of a pair.
        {{L"Aa" + Pairs(130) + L".txt", L"AA" + Pairs(130) + L".txt"},
         {L"Aa" + Pairs(124) + L".txt", L"AA" + Pairs(122) + L" (2).txt"}},
    };
    for (const FolderCase& c : cases) EXPECT_EQ(StoredNames(c.disc), c.stored);
}

TEST(WindowsNamesTest, EveryFileCallTakesTheLongForm) {
    const NameCase cases[] = {
        {L"C:\\bags", L"\\\\?\\C:\\bags"},
        {L"D:\\", L"\\\\?\\D:\\"},
        {L"C:/bags/x", L"\\\\?\\C:\\bags\\x"},
        {L"\\\\server\\share\\bags", L"\\\\?\\UNC\\server\\share\\bags"},
        {L"\\\\?\\C:\\bags", L"\\\\?\\C:\\bags"},
        {L"C:\\" + std::wstring(300, L'x'), L"\\\\?\\C:\\" + std::wstring(300, L'x')},
    };
    for (const NameCase& c : cases) EXPECT_EQ(ExtendedLengthPath(c.disc), c.stored);
}

}  // namespace
}  // namespace dravolin::win32

// The archive's page as the Windows program writes it into a target folder: gathered from the
// folder's own files, and put in place whole.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include "archive/ArchiveLog.h"
#include "archive/BagCheck.h"
#include "archive/PageTexts.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/archive/Sha256.h"
#include "platform/win32/archive/Win32ArchivePage.h"

namespace dravolin::win32 {
namespace {

namespace fs = std::filesystem;

constexpr char kPageBag[] = "PHOTOS 2026-12-08 2e0c1d44";

void PutFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string FileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::set<std::string> EntryNames(const fs::path& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// The page's words without its markup, as a reader sees them.
std::string WithoutTags(const std::string& html) {
    std::string text;
    bool inTag = false;
    for (const char c : html) {
        if (c == '<' || c == '>') {
            inTag = c == '<';
        } else if (!inTag) {
            text += c;
        }
    }
    return text;
}

archive::LogRow PageRow() {
    archive::LogRow row;
    row.start = "2026-12-08T10:00:00+01:00";
    row.end = "2026-12-08T10:05:00+01:00";
    row.drive = "E";
    row.label = "PHOTOS";
    row.fingerprint = 0x2e0c1d44;
    row.bagFolder = kPageBag;
    row.files = 1;
    row.bytes = 5;
    row.result = archive::DiscResult::Complete;
    return row;
}

TEST(Win32ArchivePageTest, ShowsTheFoldersDiscFileAndCheckAndLeavesNoTemporaryFile) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const fs::path target = fs::path(temp) / L"dravolin-page-test";
    fs::remove_all(target);
    fs::create_directories(target);
    const fs::path bag = target / kPageBag;
    PutFile(target / "archive-log.csv", archive::AppendText("", PageRow()));
    PutFile(bag / "bagit.txt", "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n");
    PutFile(bag / "bag-info.txt", "Payload-Oxum: 5.1\n");
    PutFile(bag / "data" / "files" / "sub" / "a.txt", "hello");
    const auto sha256 = [](std::string_view text) { return Sha256Of(text); };
    PutFile(target / "verify 2026-12-10 031507.txt",
            archive::ReportText("# a check\n", {{kPageBag, {}}}, sha256));

    const archive::PageTexts& texts = archive::PageTextsFor("en");
    ASSERT_TRUE(WriteArchivePage(target.wstring(), texts));
    const std::string page = FileBytes(target / "index.html");
    EXPECT_NE(page.find("data-bag=\"" + std::string(kPageBag) + "\""), std::string::npos);
    EXPECT_NE(page.find(",\"files/sub/a.txt\",5]"), std::string::npos);
    EXPECT_NE(WithoutTags(page).find("valid on 2026-12-10 03:15:07"), std::string::npos);

    ASSERT_TRUE(WriteArchivePage(target.wstring(), texts));
    EXPECT_EQ(EntryNames(target),
              (std::set<std::string>{".dravolin-claims", "archive-log.csv", kPageBag, "index.html",
                                     "verify 2026-12-10 031507.txt"}));
    std::error_code ignored;
    fs::remove_all(target, ignored);
}

}  // namespace
}  // namespace dravolin::win32

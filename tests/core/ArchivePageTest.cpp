// The archive's page as a browser gets it: which discs it shows and how, what a disc's odd names
// can do to it, and the map picture's squares.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "archive/ArchiveLog.h"
#include "archive/ArchivePage.h"
#include "archive/BagCheck.h"
#include "archive/MapPicture.h"
#include "archive/RescueMap.h"

namespace dravolin::archive {
namespace {

std::string Digest(std::string_view text) {
    return std::to_string(std::hash<std::string_view>{}(text));
}

LogRow Row(const std::string& start, const std::string& label, const std::string& bag,
           DiscResult result) {
    LogRow row;
    row.start = start;
    row.end = start;
    row.drive = "E";
    row.label = label;
    row.bagFolder = bag;
    row.files = 2;
    row.bytes = 3 * 1024 * 1024 / 2;
    row.damagedFiles = result == DiscResult::Incomplete ? 1 : 0;
    row.result = result;
    return row;
}

std::string Report(const std::vector<CheckedBag>& bags) {
    return ReportText("# a check\n", bags, Digest);
}

// The text between the first `from` at or after `at` and the next `to`.
std::string Between(const std::string& text, std::size_t at, const std::string& from,
                    const std::string& to) {
    const std::size_t start = text.find(from, at);
    if (start == std::string::npos) return {};
    return text.substr(start, text.find(to, start + from.size()) - start);
}

TEST(ArchivePage, ShowsEachDiscNewestFirstWithItsBagCheckAndMap) {
    PageSources sources;
    sources.log =
        AppendText("", Row("2026-12-01T10:00:00+01:00", "OLD", "OLD bag", DiscResult::Complete));
    sources.log += FormatRow(Row("2026-12-02T10:00:00+01:00", "<script>alert(1)</script>",
                                 "TAXES bag (incomplete)", DiscResult::Incomplete));
    sources.log +=
        FormatRow(Row("2026-12-03T10:00:00+01:00", "BLANK", "", DiscResult::NoFileSystem));
    sources.log +=
        FormatRow(Row("2026-12-04T10:00:00+01:00", "GONE", "GONE bag", DiscResult::Complete));
    RescueMap map(2048 * 4);
    map.Mark(0, 2048 * 4, BlockState::Rescued);
    map.Mark(2048, 2048, BlockState::Bad);
    sources.bags = {
        {"OLD bag", "", {{"files/a.txt", 5}}, ""},
        {"TAXES bag (incomplete)",
         "Dravolin-Stopped: the disc's time budget was spent before the whole disc was read\n",
         {{"files/r</script>.pdf", 9}, {"files/\xE9t\xE9", 1}},
         MapText(map, {}, "")},
        // The log lost its row: the bag tells it.
        {"LOST bag",
         "Dravolin-Result: complete\nDravolin-Disc-Identity: " + std::string(64, 'a') +
             "\nDravolin-Volume-Label: LOST\nDravolin-Started: 2026-12-05T10:00:00+01:00\n"
             "Payload-Oxum: 10.1\n",
         {{"files/x", 10}},
         ""},
        // No log row, no result: a bag of another tool.
        {"foreign bag", "Bagging-Date: 2026-01-01\n", {{"files/y", 1}}, ""}};
    sources.reports = {
        {"verify 2026-12-06 100000.txt", Report({{"OLD bag", {}}, {"TAXES bag (incomplete)", {}}})},
        {"verify 2026-12-07 100000.txt",
         Report({{"TAXES bag (incomplete)", {{}, {"data/x"}, {}, {}, false}}})},
        {"verify 2026-12-08 100000.txt",
         Report({{"OLD bag", {{}, {"data/x"}, {}, {}, false}}}) + "x"},
        {"notes.txt", "whatever"}};

    const std::string page = ArchivePage(PageTextsFor("en"), sources, Digest);

    std::vector<std::string> order;
    for (std::size_t at = page.find("<tr data-bag=\""); at != std::string::npos;
         at = page.find("<tr data-bag=\"", at + 1)) {
        order.push_back(page.substr(at + 14, page.find('"', at + 14) - at - 14));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"LOST bag", "TAXES bag (incomplete)", "OLD bag"}));
    EXPECT_NE(page.find("Discs: 5. Complete: 3. Incomplete: 1. Others: 1."), std::string::npos);
    EXPECT_NE(page.find("GONE bag <small>(no longer in this folder)"), std::string::npos);

    const std::size_t taxes = page.find("<tr data-bag=\"TAXES");
    EXPECT_EQ(Between(page, taxes, "<span class=\"result", "</span>"),
              "<span class=\"result incomplete\">incomplete");
    EXPECT_EQ(Between(page, taxes, "<small>", "</small>"), "<small>its time budget ran out");
    EXPECT_EQ(Between(page, taxes, "<span class=\"verify", "</span>"),
              "<span class=\"verify changed\">changed on <span class=\"when\">2026-12-07 10:00:00");
    EXPECT_NE(Between(page, taxes, "<td class=\"map\"", "</td>").find("<svg class=\"map\""),
              std::string::npos);
    EXPECT_NE(Between(page, taxes, "<td", "</tr>")
                  .find("href=\"TAXES%20bag%20%28incomplete%29/"
                        "damaged-files.txt\">1</a>"),
              std::string::npos);
    // The altered report of the 8th counts for nothing: the check of the 6th is OLD's last.
    const std::size_t old = page.find("<tr data-bag=\"OLD");
    EXPECT_EQ(Between(page, old, "<span class=\"verify", "</span>"),
              "<span class=\"verify valid\">valid on <span class=\"when\">2026-12-06 10:00:00");
    EXPECT_EQ(Between(page, old, "<td class=\"map\"", "</td>"),
              "<td class=\"map\" data-label=\"Disc map\">");
    EXPECT_NE(page.find("The check report verify 2026-12-08 100000.txt was changed"),
              std::string::npos);

    // A label or a name is text wherever it lands, never markup or the end of a script.
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("r</script>"), std::string::npos);
    EXPECT_NE(page.find("[1,\"files/r\\u003c/script\\u003e.pdf\",9]"), std::string::npos);
    EXPECT_NE(page.find("[1,\"files/\xEF\xBF\xBDt\xEF\xBF\xBD\",1,\"files/%E9t%E9\"]"),
              std::string::npos);
}

struct MapCase {
    const char* name;
    std::uint64_t extent;
    std::vector<MapBlock> blocks;  // marked in order over a map read throughout
    int rows;
    std::vector<std::string> firstRow;  // x, width and colour of its rectangles
    std::string caption;
};

void PrintTo(const MapCase& c, std::ostream* os) {
    *os << c.name;
}

class MapSquares : public ::testing::TestWithParam<MapCase> {};

// A square shows the gravest state of its bytes, and a run of one colour in a row is one
// rectangle.
TEST_P(MapSquares, TakeTheGravestStateOfTheirBytes) {
    const MapCase& c = GetParam();
    RescueMap map(c.extent);
    map.Mark(0, c.extent, BlockState::Rescued);
    for (const MapBlock& block : c.blocks) map.Mark(block.pos, block.size, block.state);
    const std::string picture = MapPicture(map, PageTextsFor("en"));
    std::vector<std::string> firstRow;
    int rows = 0;
    for (std::size_t at = picture.find("<rect x=\""); at != std::string::npos;
         at = picture.find("<rect x=\"", at + 1)) {
        const std::string rect = picture.substr(at + 9, picture.find("/>", at) - at - 9);
        if (rect.find("\" y=\"0\" ") != std::string::npos) {
            firstRow.push_back(rect.substr(0, rect.find('"')) + " " +
                               Between(rect, 0, "width=\"", "\" ").substr(7) + " " +
                               Between(rect, 0, "fill=\"", "\"").substr(6));
        }
        rows = std::max(rows, std::stoi(Between(rect, 0, "y=\"", "\" ").substr(3)) + 1);
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(firstRow, c.firstRow);
    EXPECT_EQ(Between(picture, 0, "<p class=\"caption\">", "</p>"),
              "<p class=\"caption\">" + c.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Archive, MapSquares,
    ::testing::Values(
        MapCase{"SmallDiscAllRead", 100, {}, 2, {"0 64 #2f9e44"}, "100.0% of the disc read"},
        // 1024 squares of 2048 bytes each: one bad byte colours its whole square.
        MapCase{"OneBadByte",
                2048 * 1024,
                {{2048 * 6 + 5, 1, BlockState::Bad}},
                16,
                {"0 6 #2f9e44", "6 1 #d62c2c", "7 57 #2f9e44"},
                "99.9% of the disc read"},
        MapCase{"GraverStateWins",
                2048,
                {{2, 1, BlockState::NonScraped},
                 {3, 1, BlockState::NonTried},
                 {4, 2, BlockState::NonTried}},
                16,
                {"0 1 #2f9e44", "1 1 #3d6fd6", "2 1 #9e9e9e", "3 61 #2f9e44"},
                "99.8% of the disc read"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::archive

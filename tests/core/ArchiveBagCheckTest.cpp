// A bag's manifests read back years later, as RFC 8493 writes them, and the report a later check
// is compared with.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "archive/BagCheck.h"

namespace dravolin::archive {
namespace {

const std::string kDigest(64, 'a');

struct ManifestCase {
    const char* name;
    std::string text;
    bool readable;
    std::vector<std::string> paths;
};

void PrintTo(const ManifestCase& c, std::ostream* os) {
    *os << c.name;
}

class ManifestLines : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(ManifestLines, DecodeOnlyCrLfAndPercent) {
    const ManifestCase& c = GetParam();
    const auto lines = ParseManifest(c.text);
    ASSERT_EQ(lines.has_value(), c.readable);
    if (!lines) return;
    std::vector<std::string> paths;
    for (const ManifestLine& line : *lines) {
        EXPECT_EQ(line.digest, kDigest);
        paths.push_back(line.path);
    }
    EXPECT_EQ(paths, c.paths);
}

INSTANTIATE_TEST_SUITE_P(
    Archive, ManifestLines,
    ::testing::Values(
        ManifestCase{
            "Encoded", kDigest + "  data/files/a%250Ab%0Ac%0d\n", true, {"data/files/a%0Ab\nc\r"}},
        ManifestCase{"OtherCodesAndLonePercentsStay",
                     kDigest + "  data/files/100%.txt\n" + kDigest + " data/files/%41%2\n",
                     true,
                     {"data/files/100%.txt", "data/files/%41%2"}},
        ManifestCase{"UppercaseDigestBinaryMarkAndCrlf",
                     std::string(64, 'A') + " *data/files/x y\r\n\n",
                     true,
                     {"data/files/x y"}},
        ManifestCase{"ShortDigest", "abc  data/files/a\n", false, {}},
        ManifestCase{"NoPath", kDigest + "  \n", false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BagReport, TellsTheGravestFindingAndEndsWithTheDigestOfWhatPrecedesIt) {
    BagFindings added;
    added.extra = {"data/files/new"};
    added.oxumDiffers = true;
    BagFindings oxum;
    oxum.oxumDiffers = true;
    BagFindings lost;
    lost.missing = {"data/files/line\nbreak"};
    lost.extra = {"data/files/x"};
    BagFindings bad;
    bad.unreadable = "not a bag";
    const std::vector<CheckedBag> bags = {
        {"A", {}}, {"B", added}, {"C", oxum}, {"D\nE", lost}, {"F", bad}};
    std::string hashed;
    const std::string report = ReportText("# heading\n", bags, [&](std::string_view text) {
        hashed = text;
        return std::string("DIGEST");
    });
    EXPECT_EQ(report,
              "# heading\nvalid\tA\nextra files\tB\n\tchanged\tPayload-Oxum\n\textra\tdata/files/"
              "new\nchanged\tC\n\tchanged\tPayload-Oxum\nmissing files\tD%0AE\n\tmissing\tdata/"
              "files/line%0Abreak\n\textra\tdata/files/x\nunreadable\tF\n\tunreadable\tnot a "
              "bag\nDIGEST\n");
    EXPECT_EQ(hashed + "DIGEST\n", report);

    // Read back, the verdicts are the bags'; a report changed after it was written, none.
    const auto digest = [&](std::string_view text) {
        return std::string(text == hashed ? "DIGEST" : "OTHER");
    };
    const auto verdicts = ParseReport(report, digest);
    ASSERT_TRUE(verdicts.has_value());
    std::vector<std::string> read;
    for (const ReportedBag& bag : *verdicts) read.push_back(bag.word + ":" + bag.name);
    EXPECT_EQ(read, (std::vector<std::string>{"valid:A", "extra files:B", "changed:C",
                                              "missing files:D\nE", "unreadable:F"}));
    std::string altered = report;
    altered[report.find("valid")] = 'V';
    EXPECT_FALSE(ParseReport(altered, digest).has_value());
    EXPECT_FALSE(ParseReport(report.substr(0, report.size() - 1), digest).has_value());
}

TEST(BagReport, IsNamedByWhenTheCheckBegan) {
    const LocalTime begun{2026, 12, 10, 3, 15, 7, 60};
    EXPECT_EQ(ReportName(begun), "verify 2026-12-10 031507.txt");
    EXPECT_EQ(ReportTime(ReportName(begun)), "2026-12-10 03:15:07");
    for (const char* other : {"verify 2026-12-10 031507.txt~", "verify 2026-12-1x 031507.txt",
                              "verify 2026-12-10-031507.txt", "archive-log.csv"}) {
        EXPECT_EQ(ReportTime(other), "") << other;
    }
}

}  // namespace
}  // namespace dravolin::archive

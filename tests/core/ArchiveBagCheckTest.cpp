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
}

}  // namespace
}  // namespace dravolin::archive

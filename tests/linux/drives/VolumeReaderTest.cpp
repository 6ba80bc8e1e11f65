// Labels and serials read from real ISO 9660, Joliet, Rock Ridge and UDF images made here by the
// tools of the field, compared with what the desktop's own probing shows for the same image.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include "LinuxTestSupport.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/drives/VolumeReader.h"

namespace dravolin::lnx::test {
namespace {

constexpr std::size_t kSector = 2048;

class DiscImages : public ::testing::Test {
  protected:
    void SetUp() override {
        // mkudffs answers even --version with status 1: only whether it runs at all counts.
        if (RunProgram({"genisoimage", "-version"}) != 0 ||
            RunProgram({"xorriso", "-version"}) != 0 || RunProgram({"mkudffs", "--version"}) < 0 ||
            RunProgram({"blkid", "-V"}) != 0) {
            GTEST_SKIP() << "genisoimage, xorriso, mkudffs and blkid are needed "
                            "(scripts/install-deps)";
        }
        MakeFolder(files + "/folder");
        WriteFile(files + "/readme.txt", "a disc\n");
        WriteFile(files + "/folder/data.bin", Pattern(10000, 1));
    }

    // Runs a tool that writes an image; "{image}" and "{files}" in its arguments stand for the
    // image's path and the folder it is made of. Returns the image's bytes.
    std::string MakeWith(std::vector<std::string> command) {
        const std::string image = NextImage();
        for (std::string& arg : command) {
            if (arg == "{image}") arg = image;
            if (arg == "{files}") arg = files;
        }
        std::string output;
        EXPECT_EQ(RunProgram(command, &output), 0) << output;
        return ReadFile(image);
    }

    // Makes an image of `files` with the tool's arguments; returns its bytes.
    std::string Make(std::vector<std::string> command) {
        command.insert(command.end(), {"-o", "{image}", "{files}"});
        return MakeWith(std::move(command));
    }

    // Reads an image the way a drive is read: from a file descriptor.
    std::optional<VolumeIdentity> Identify(const std::string& image, std::uint64_t offset = 0) {
        const std::string path = NextImage();
        WriteFile(path, image);
        const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        EXPECT_TRUE(fd.Valid());
        return ReadVolumeIdentity(fd.Get(), offset);
    }

    // The label the desktop shows for the image, as `blkid -p` prints it.
    std::string DesktopLabel(const std::string& image) {
        const std::string path = NextImage();
        WriteFile(path, image);
        std::string output;
        EXPECT_EQ(RunProgram({"blkid", "-p", "-o", "value", "-s", "LABEL", path}, &output), 0);
        if (!output.empty() && output.back() == '\n') output.pop_back();
        return output;
    }

    TempFolder temp;
    std::string files = temp / "files";

  private:
    std::string NextImage() { return temp / ("image" + std::to_string(++count_) + ".iso"); }
    int count_ = 0;
};

// Writes `name` over the primary descriptor's volume name, blank-padded as the tools write it.
void SetPrimaryName(std::string& image, const std::string& name) {
    ASSERT_LE(name.size(), 32u);
    ASSERT_EQ(image.compare(16 * kSector + 1, 5, "CD001"), 0);
    image.replace(16 * kSector + 40, 32, name + std::string(32 - name.size(), ' '));
}

struct LabelCase {
    const char* what;
    std::vector<std::string> command;  // writes "{image}" from "{files}"
    const char* primaryName;           // written over the primary descriptor's name, or null
    const char* type;
    std::string label;    // what the list shows
    std::string desktop;  // what `blkid -p` prints, where it differs from `label`
};

// The desktop completes a Joliet name cut at 16 characters from the primary descriptor's 32,
// shows UDF's logical volume name, and Joliet's name where the two descriptors disagree.
TEST_F(DiscImages, LabelsAreTheOnesTheDesktopShows) {
    const std::string longestUdf = [] {
        std::string text;
        for (int i = 0; i < 126; ++i) text += "é";  // 252 bytes: UDF's 126 8-bit characters
        return text;
    }();
    const std::vector<LabelCase> cases = {
        {"ISO 9660 alone",
         {"genisoimage", "-quiet", "-V", "PLAIN_DISC", "-o", "{image}", "{files}"},
         nullptr,
         "iso9660",
         "PLAIN_DISC",
         ""},
        {"a Joliet name longer than Joliet holds",
         {"genisoimage", "-quiet", "-J", "-V", "A Joliet name longer than 16", "-o", "{image}",
          "{files}"},
         nullptr,
         "iso9660",
         "A Joliet name longer than 16",
         ""},
        {"a long lower-case name",
         {"xorriso", "-as", "mkisofs", "-quiet", "-R", "-J", "-V", "a lower-case name, and long",
          "-o", "{image}", "{files}"},
         nullptr,
         "iso9660",
         "a lower-case name, and long",
         ""},
        {"a Cyrillic Joliet name",
         {"genisoimage", "-quiet", "-J", "-input-charset", "utf-8", "-V", "Фото 2024 лето", "-o",
          "{image}", "{files}"},
         nullptr,
         "iso9660",
         "Фото 2024 лето",
         ""},
        {"accents in the primary descriptor, no Joliet",
         {"genisoimage", "-quiet", "-input-charset", "utf-8", "-V", "Café été", "-o", "{image}",
          "{files}"},
         nullptr,
         "iso9660",
         "Café été",
         ""},
        {"a long Joliet name from xorriso",
         {"xorriso", "-as", "mkisofs", "-quiet", "-J", "-joliet-long", "-V",
          "Xorriso: a long Joliet volume", "-o", "{image}", "{files}"},
         nullptr,
         "iso9660",
         "Xorriso: a long Joliet volume",
         ""},
        {"accents past Joliet's 16 characters: the desktop shows Joliet's",
         {"xorriso", "-as", "mkisofs", "-quiet", "-input-charset", "utf-8", "-R", "-J", "-V",
          "Ünïcödé Äccents éà", "-o", "{image}", "{files}"},
         nullptr,
         "iso9660",
         "Ünïcödé Äccents",
         ""},
        {"primary and Joliet names that differ",
         {"genisoimage", "-quiet", "-J", "-V", "JOLIET NAME", "-o", "{image}", "{files}"},
         "PRIMARY NAME",
         "iso9660",
         "JOLIET NAME",
         ""},
        {"a primary name in a single-byte code page, read as Latin-1",
         {"genisoimage", "-quiet", "-V", "CAFE", "-o", "{image}", "{files}"},
         "CAF\xC9",
         "iso9660",
         "CAFÉ",
         "CAF\xC9"},
        {"a UDF bridge disc",
         {"genisoimage", "-quiet", "-udf", "-J", "-V", "Bridge with a long name here", "-o",
          "{image}", "{files}"},
         nullptr,
         "udf",
         "Bridge with a long name here",
         ""},
        {"mkudffs, a CD-R with a Cyrillic name",
         {"mkudffs", "--utf8", "--new-file", "--media-type=cdr",
          "--label=Диск UDF с длинным именем и ещё", "{image}", "1000"},
         nullptr,
         "udf",
         "Диск UDF с длинным именем и ещё",
         ""},
        {"mkudffs, logical and volume names that differ",
         {"mkudffs", "--utf8", "--new-file", "--blocksize=2048", "--lvid=Logical name éà",
          "--vid=VOLNAME", "{image}", "600"},
         nullptr,
         "udf",
         "Logical name éà",
         ""},
        {"mkudffs, the longest label UDF holds",
         {"mkudffs", "--utf8", "--new-file", "--blocksize=2048", "--lvid=" + longestUdf, "{image}",
          "600"},
         nullptr,
         "udf",
         longestUdf,
         ""},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string image = MakeWith(c.command);
        if (c.primaryName) SetPrimaryName(image, c.primaryName);
        const auto id = Identify(image);
        ASSERT_TRUE(id);
        EXPECT_EQ(id->type, c.type);
        EXPECT_EQ(id->label, c.label);
        EXPECT_EQ(DesktopLabel(image), c.desktop.empty() ? c.label : c.desktop);
    }
}

TEST_F(DiscImages, UdfAloneIsRecognised) {
    std::string image = Make({"genisoimage", "-quiet", "-udf", "-V", "Only UDF"});
    // Move the UDF recognition sequence over the ISO descriptors, as on a UDF-only disc.
    std::size_t bea = 0;
    for (std::size_t s = 16; s < 40 && !bea; ++s) {
        if (image.compare(s * kSector + 1, 5, "BEA01") == 0) bea = s;
    }
    ASSERT_NE(bea, 0u);
    const std::string sequence = image.substr(bea * kSector, 3 * kSector);
    std::fill(image.begin() + 16 * kSector, image.begin() + (bea + 3) * kSector, '\0');
    image.replace(16 * kSector, sequence.size(), sequence);

    const auto id = Identify(image);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->type, "udf");
    EXPECT_EQ(id->label, "Only UDF");
    EXPECT_NE(id->serial, 0u);
}

TEST_F(DiscImages, BlankGarbageAndTruncatedDiscsHaveNoVolume) {
    EXPECT_FALSE(Identify(std::string(1 << 20, '\0')));
    EXPECT_FALSE(Identify(Pattern(1 << 20, 99)));
    const std::string image = Make({"genisoimage", "-quiet", "-V", "CUT"});
    EXPECT_FALSE(Identify(image.substr(0, 16 * kSector + 100)));
    EXPECT_FALSE(Identify(""));
}

TEST_F(DiscImages, TheSerialAndDigestAreStableForADiscAndChangeWithTheDisc) {
    const std::string first = Make({"genisoimage", "-quiet", "-V", "SAME"});
    WriteFile(files + "/readme.txt", "another disc\n");
    const std::string second = Make({"genisoimage", "-quiet", "-V", "SAME"});
    // Bytes of the primary descriptor's application-use field, which a forger picks freely.
    std::string used = first;
    used[16 * kSector + 883] ^= 1;
    const auto a = Identify(first), again = Identify(first), b = Identify(second),
               c = Identify(used);
    ASSERT_TRUE(a && again && b && c);
    EXPECT_EQ(a->serial, again->serial);
    EXPECT_NE(a->serial, b->serial);
    for (std::uint32_t serial : {a->serial, b->serial}) {
        EXPECT_NE(serial, 0u);
        EXPECT_NE(serial, 0xFFFFFFFFu);
    }
    EXPECT_EQ(a->digest.size(), 64u);
    EXPECT_EQ(a->digest, again->digest);
    EXPECT_NE(a->digest, b->digest);
    EXPECT_NE(a->digest, c->digest);
    const auto udf = Identify(Make({"genisoimage", "-quiet", "-udf", "-V", "SAME"}));
    ASSERT_TRUE(udf);
    EXPECT_EQ(udf->digest.size(), 64u);
    EXPECT_NE(udf->digest, a->digest);
}

TEST(LabelCut, NeverSplitsACharacter) {
    EXPECT_EQ(CutUtf8("ABCDEF", 4), "ABCD");
    EXPECT_EQ(CutUtf8("AB\xd0\xa4", 3), "AB");
    EXPECT_EQ(CutUtf8("AB\xd0\xa4", 4), "AB\xd0\xa4");
    EXPECT_EQ(CutUtf8("\xe2\x82\xac", 2), "");
}

}  // namespace
}  // namespace dravolin::lnx::test

// Labels and serials read from real ISO 9660, Joliet, Rock Ridge and UDF images made here.
#include <gtest/gtest.h>
#include <optional>
#include "LinuxTestSupport.h"
#include "platform/linux/VolumeReader.h"

namespace dravolin::lnx::test {
namespace {

constexpr std::size_t kSector = 2048;

class DiscImages : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunProgram({"genisoimage", "-version"}) != 0 ||
            RunProgram({"xorriso", "-version"}) != 0) {
            GTEST_SKIP() << "genisoimage and xorriso are needed (scripts/install-deps)";
        }
        MakeFolder(files + "/folder");
        WriteFile(files + "/readme.txt", "a disc\n");
        WriteFile(files + "/folder/data.bin", Pattern(10000, 1));
    }

    // Makes an image of `files` with the tool's arguments; returns its bytes.
    std::string Make(std::vector<std::string> command) {
        const std::string image = temp / ("image" + std::to_string(++count_) + ".iso");
        command.insert(command.end(), {"-o", image, files});
        std::string output;
        EXPECT_EQ(RunProgram(command, &output), 0) << output;
        return ReadFile(image);
    }

    static std::optional<VolumeIdentity> Identify(const std::string& image,
                                                  std::uint64_t offset = 0) {
        MemoryDiscBytes bytes({reinterpret_cast<const std::uint8_t*>(image.data()), image.size()});
        return ReadVolumeIdentity(bytes, offset);
    }

    TempFolder temp;
    std::string files = temp / "files";

  private:
    int count_ = 0;
};

TEST_F(DiscImages, PlainIso9660GivesThePrimaryLabel) {
    const auto id = Identify(Make({"genisoimage", "-quiet", "-V", "PLAIN_DISC"}));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->label, "PLAIN_DISC");
    EXPECT_TRUE(id->iso9660);
    EXPECT_FALSE(id->joliet);
    EXPECT_FALSE(id->udf);
}

TEST_F(DiscImages, JolietGivesTheUnicodeLabel) {
    const auto id = Identify(
        Make({"genisoimage", "-quiet", "-J", "-input-charset", "utf-8", "-V", "Фото 2024 é"}));
    ASSERT_TRUE(id);
    EXPECT_TRUE(id->joliet);
    EXPECT_EQ(id->label, "Фото 2024 é");
}

TEST_F(DiscImages, RockRidgeAndJolietFromXorriso) {
    const auto id =
        Identify(Make({"xorriso", "-as", "mkisofs", "-quiet", "-R", "-J", "-V", "Rock Ridge"}));
    ASSERT_TRUE(id);
    EXPECT_TRUE(id->iso9660);
    EXPECT_TRUE(id->joliet);
    EXPECT_EQ(id->label, "Rock Ridge");
}

TEST_F(DiscImages, UdfBridgeGivesTheUdfLabel) {
    const auto id = Identify(Make({"genisoimage", "-quiet", "-udf", "-J", "-V", "Bridge Disc"}));
    ASSERT_TRUE(id);
    EXPECT_TRUE(id->udf);
    EXPECT_TRUE(id->iso9660);
    EXPECT_EQ(id->label, "Bridge Disc");
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
    EXPECT_FALSE(id->iso9660);
    EXPECT_TRUE(id->udf);
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

TEST_F(DiscImages, TheSerialIsStableForADiscAndChangesWithTheDisc) {
    const std::string first = Make({"genisoimage", "-quiet", "-V", "SAME"});
    WriteFile(files + "/readme.txt", "another disc\n");
    const std::string second = Make({"genisoimage", "-quiet", "-V", "SAME"});
    const auto a = Identify(first), again = Identify(first), b = Identify(second);
    ASSERT_TRUE(a && again && b);
    EXPECT_EQ(a->serial, again->serial);
    EXPECT_NE(a->serial, b->serial);
    for (std::uint32_t serial : {a->serial, b->serial}) {
        EXPECT_NE(serial, 0u);
        EXPECT_NE(serial, 0xFFFFFFFFu);
    }
}

TEST(LabelCut, NeverSplitsACharacter) {
    EXPECT_EQ(CutUtf8("ABCDEF", 4), "ABCD");
    EXPECT_EQ(CutUtf8("AB\xd0\xa4", 3), "AB");
    EXPECT_EQ(CutUtf8("AB\xd0\xa4", 4), "AB\xd0\xa4");
    EXPECT_EQ(CutUtf8("\xe2\x82\xac", 2), "");
}

}  // namespace
}  // namespace dravolin::lnx::test

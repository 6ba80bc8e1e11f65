// A disc's bag made from its image: on the real kernel, the image mounted through a loop device,
// each file's damage found by the fill in the image's unread sectors; where the kernel cannot
// mount it, the files taken out by the libraries of ISO 9660 and UDF, each file's damage from
// the map. Either way the damage (a whole sector, a last sector of a few bytes, a run across a
// file) is found there and nowhere else, the files and the image keep zeros there, and the bag
// is read alike by sha256sum, bagit-python and ddrescuelog.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <set>
#include "BagTestSupport.h"
#include "LinuxTestSupport.h"
#include "archive/RescueMap.h"
#include "platform/linux/archive/BagWriter.h"
#include "platform/linux/archive/FilesFromTree.h"
#include "platform/linux/io/Sha256.h"
#include "platform/linux/order/ImageTree.h"

namespace dravolin::lnx::test {
namespace {

constexpr std::uint64_t kSector = archive::kSector;

struct DiscFile {
    const char* name;
    std::size_t size;
};
constexpr DiscFile kFiles[] = {
    {"tail.bin", 3 * kSector + 5}, {"run.bin", 10 * kSector}, {"small.txt", 100}};

struct ImageCase {
    const char* name;
    // Unread sectors, relative to each file's first: (file, sector); -1 is a sector of the
    // disc no file holds (its first).
    std::vector<std::pair<int, std::uint64_t>> bad;
    std::string damagedFiles;  // the lines of damaged-files.txt for the files
};

void PrintTo(const ImageCase& c, std::ostream* out) {
    *out << c.name;
}

// A read that leaves `image` as the disc's image, `map` saying what of it the disc gave and
// `gaps` where it holds no data.
decltype(ImageRead::read) ReadsAs(const std::string& image, const archive::RescueMap& map,
                                  std::vector<archive::ByteRange> gaps = {}) {
    return [&image, &map, gaps](const std::string& imagePath, const std::string& mapPath,
                                const archive::RescueHooks&, const archive::RescueMap*) {
        WriteFile(imagePath, image);
        WriteFile(mapPath, archive::MapText(map, {0, '+', 1}, "# Mapfile"));
        return DriveImageResult{0, map, {}, gaps, {}};
    };
}

// The bag `how` makes of a disc in `folder`, published as "Disc"; Failed, with why, where it
// could not be published.
BagOutcome BagOfDisc(const ImageRead& how, const std::string& folder) {
    CopyIo io;
    ScriptedPrompts prompts;
    BagWriter writer(io, prompts);
    BagRequest request{{}, folder, "DISC", {}};
    request.image = &how;
    BagOutcome outcome = writer.Build(request);
    if (outcome.result != BagResult::Failed &&
        writer.Publish("Disc") != BagWriter::Published::Done) {
        outcome.result = BagResult::Failed;
        outcome.failure = CopyFailure{folder, 0, "the bag was not published"};
    }
    return outcome;
}

// Who takes the files out of the image.
enum class Reader { Kernel, IsoLibrary, UdfLibrary };
const char* const kReaders[] = {"Kernel", "IsoLibrary", "UdfLibrary"};
void PrintTo(Reader reader, std::ostream* out) {
    *out << kReaders[static_cast<int>(reader)];
}

class ImageBags : public ::testing::TestWithParam<std::tuple<ImageCase, Reader>> {};

TEST_P(ImageBags, NameExactlyTheUnreadBytesOfEachFile) {
    const auto& [c, reader] = GetParam();
    if (RunProgram({"genisoimage", "-version"}) != 0) GTEST_SKIP() << "needs genisoimage";
    // A container's kernel may lack ISO 9660: the real-drive guest's scratched disc makes
    // such a bag on a kernel that has it.
    if (reader == Reader::Kernel &&
        (::geteuid() != 0 || ::access("/dev/loop-control", F_OK) != 0 ||
         ReadFile("/proc/filesystems").find("\tiso9660\n") == std::string::npos)) {
        GTEST_SKIP() << "needs root, loop devices and ISO 9660 in the kernel";
    }
    TempFolder temp;
    const std::string disc = temp / "disc", iso = temp / "disc.iso";
    MakeFolder(disc);
    for (unsigned i = 0; i < std::size(kFiles); ++i) {
        WriteFile(disc + "/" + kFiles[i].name, Pattern(kFiles[i].size, i + 1));
    }
    std::vector<std::string> make = {"genisoimage", "-quiet", "-R", "-o", iso, disc};
    if (reader == Reader::UdfLibrary) make.insert(make.begin() + 2, "-udf");
    ASSERT_EQ(RunProgram(make), 0);
    std::string image = ReadFile(iso);
    std::set<std::uint64_t> bad;
    for (const auto& [file, sector] : c.bad) {
        std::uint64_t first = 0;
        if (file >= 0) {
            first = image.find(Pattern(kFiles[file].size, file + 1).substr(0, 64)) / kSector;
        }
        bad.insert(first + sector);
    }
    archive::RescueMap map(image.size());
    map.Mark(0, image.size(), archive::BlockState::Rescued);
    for (const std::uint64_t sector : bad) {
        map.Mark(sector * kSector, kSector, archive::BlockState::Bad);
        image.replace(sector * kSector, kSector, std::string(kSector, '\0'));
    }
    ImageRead how{ReadsAs(image, map), [&](int fd) {
                      ImageMount::Options options;
                      options.useUDisks2 = false;
                      return ImageMount::Mount(reader == Reader::Kernel ? fd : -1, options);
                  }};
    how.tree = [](const std::string& path) { return ReadImageTree(path); };
    const BagOutcome outcome = BagOfDisc(how, temp / "bags");
    ASSERT_EQ(outcome.result, bad.empty() ? BagResult::Complete : BagResult::Incomplete)
        << (outcome.failure ? outcome.failure->text : "");

    const std::string bag = temp / "bags/Disc";
    EXPECT_TRUE(BagChecks(bag));
    EXPECT_EQ(ReadFile(bag + "/data/image/disc.iso"), image);
    EXPECT_EQ(ReadFile(bag + "/bag-info.txt").find("\nDravolin-Files-Taken: by the library") !=
                  std::string::npos,
              reader != Reader::Kernel);
    for (unsigned i = 0; i < std::size(kFiles); ++i) {
        std::string expected = Pattern(kFiles[i].size, i + 1);
        const std::uint64_t first = ReadFile(iso).find(expected.substr(0, 64)) / kSector;
        for (std::uint64_t at = 0; at < expected.size(); at += kSector) {
            if (bad.contains(first + at / kSector)) {
                expected.replace(
                    at, std::min<std::uint64_t>(kSector, expected.size() - at),
                    std::string(std::min<std::uint64_t>(kSector, expected.size() - at), '\0'));
            }
        }
        EXPECT_EQ(ReadFile(bag + "/data/files/" + kFiles[i].name), expected) << kFiles[i].name;
    }
    std::string listed;
    if (!bad.empty()) {
        const std::string damaged = ReadFile(bag + "/damaged-files.txt");
        for (std::size_t at = 0; at < damaged.size();) {
            const std::size_t end = damaged.find('\n', at) + 1;
            if (damaged.compare(at, 11, "data/files/") == 0) listed += damaged.substr(at, end - at);
            at = end;
        }
        std::string sectors;
        ASSERT_EQ(RunProgram({"ddrescuelog", "-b", "2048", "-l-", bag + "/data/image/disc.map"},
                             &sectors),
                  0);
        std::string expected;
        for (const std::uint64_t sector : bad) expected += std::to_string(sector) + "\n";
        EXPECT_EQ(sectors, expected);
    }
    EXPECT_EQ(listed, c.damagedFiles);
}

std::string ImageBagName(const ::testing::TestParamInfo<std::tuple<ImageCase, Reader>>& info) {
    return std::string(std::get<0>(info.param).name) + "_" +
           kReaders[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImageBags,
    ::testing::Combine(
        ::testing::Values(
            ImageCase{"NothingUnread", {}, ""}, ImageCase{"UnreadOutsideEveryFile", {{-1, 0}}, ""},
            ImageCase{"AWholeSectorAndAShortLastOne",
                      {{0, 1}, {0, 3}},
                      "data/files/tail.bin 2048-4096\ndata/files/tail.bin 6144-6149\n"},
            ImageCase{"ARunInsideAFile",
                      {{1, 4}, {1, 5}, {1, 9}},
                      "data/files/run.bin 8192-12288\ndata/files/run.bin 18432-20480\n"},
            ImageCase{"AFileOfOneShortSector", {{2, 0}}, "data/files/small.txt 0-100\n"}),
        ::testing::Values(Reader::Kernel, Reader::IsoLibrary, Reader::UdfLibrary)),
    ImageBagName);

// A disc of two sessions read into its image: its files are the last session's (which holds
// the first one's file too), taken out of the image by libisofs at that session, where a loop
// device would show the first one; the gap between the sessions is no damage.
TEST(ImageBags, TakeALastSessionsFilesOutOfTheImage) {
    if (RunProgram({"genisoimage", "-version"}) != 0) GTEST_SKIP() << "needs genisoimage";
    TempFolder temp;
    MakeFolder(temp / "one");
    MakeFolder(temp / "two");
    const std::string first = Pattern(5000, 1), second = Pattern(3 * kSector, 2);
    WriteFile(temp / "one/first.bin", first);
    WriteFile(temp / "two/second.bin", second);
    ASSERT_EQ(RunProgram({"genisoimage", "-quiet", "-R", "-o", temp / "s1.iso", temp / "one"}), 0);
    const std::string one = ReadFile(temp / "s1.iso");
    const std::uint64_t next = one.size() / kSector + 150;
    ASSERT_EQ(RunProgram({"genisoimage", "-quiet", "-R", "-C", "0," + std::to_string(next), "-M",
                          temp / "s1.iso", "-o", temp / "s2.iso", temp / "two"}),
              0);
    const std::string image =
        one + std::string((next * kSector) - one.size(), '\0') + ReadFile(temp / "s2.iso");
    archive::RescueMap map(image.size());
    map.Mark(0, one.size(), archive::BlockState::Rescued);
    map.Mark(next * kSector, image.size() - next * kSector, archive::BlockState::Rescued);
    const ImageRead how{
        ReadsAs(image, map, {{one.size(), next * kSector}}), nullptr, archive::BagKeeps::Both,
        [&](const std::string& path) { return ReadImageTree(path, next * kSector); }};
    const BagOutcome outcome = BagOfDisc(how, temp / "bags");
    ASSERT_EQ(outcome.result, BagResult::Complete)
        << (outcome.failure ? outcome.failure->text : "");
    const std::string bag = temp / "bags/Disc";
    EXPECT_TRUE(BagChecks(bag));
    EXPECT_EQ(outcome.files, 2u);
    EXPECT_TRUE(ReadFile(bag + "/data/files/first.bin") == first);
    EXPECT_TRUE(ReadFile(bag + "/data/files/second.bin") == second);
    EXPECT_TRUE(ReadFile(bag + "/data/image/disc.iso") == image);
    EXPECT_NE(ReadFile(bag + "/bag-info.txt")
                  .find("\nDravolin-Files-Taken: by the library of "
                        "the image's file system, at the disc's last "
                        "session"),
              std::string::npos);
}

// What a disc's file system may say, taken out of its image by the library's word: names that
// would climb out of the bag, a link and a device, two entries of one name, a file its extents
// do not cover, and one whose extent runs past the image. Nothing lands outside data/files/,
// and what is left out is listed or counted.
TEST(FilesFromTree, KeepEveryEntryInsideTheBagAndSayWhatWasLeftOut) {
    using Kind = TreeEntry::Kind;
    const std::string image = Pattern(8 * kSector, 7);
    const auto bytes = [&](std::uint64_t at, std::uint64_t length) {
        return image.substr(at, length);
    };
    const auto file = [](std::string path, std::vector<archive::DiscExtent> extents,
                         std::uint64_t size) {
        return TreeEntry{std::move(path), Kind::File, size, 0, std::move(extents), {}};
    };
    const DiscTree tree = {
        {"d", Kind::Folder, 0, 0, {}, {}},
        file("d/two.bin", {{5 * kSector, 100}, {kSector, kSector}}, kSector + 100),
        file("../up.bin", {{0, 10}}, 10),
        {"..", Kind::Folder, 0, 0, {}, {}},
        file("d/../../x.bin", {{0, 10}}, 10),
        file("../d/y.bin", {{0, 10}}, 10),
        file("d/two.bin", {{6 * kSector, 10}}, 10),
        file("short.bin", {{0, 10}}, 20),
        file("past.bin", {{7 * kSector, 2 * kSector}}, 2 * kSector),
        file("huge.bin", {{~std::uint64_t{0} - 4, 10}}, 10),
        {"d/link", Kind::Link, 0, 0, {}, {}},
        {"dev", Kind::Special, 0, 0, {}, {}},
        {"inline.txt", Kind::File, 5, 1'000'000'000, {}, "kept!"},
    };
    TempFolder temp;
    WriteFile(temp / "disc.iso", image);
    MakeFolder(temp / "bag/files");
    archive::RescueMap map(image.size());
    map.Mark(0, image.size(), archive::BlockState::Rescued);
    const UniqueFd in(::open((temp / "disc.iso").c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd files(::open((temp / "bag/files").c_str(), O_RDONLY | O_DIRECTORY));
    CopyIo io;
    ScriptedPrompts prompts;
    ArchiveRecord record;
    const TreeCopier::Result result =
        CopyFilesFromTree(io, prompts, in.Get(), map, tree, files.Get(), record);

    EXPECT_EQ(result.outcome, CopyOutcome::Completed);
    EXPECT_EQ(result.summary,
              "Not copied: 1 symbolic links, 1 special files (devices, pipes, sockets), 4 entries "
              "with unusable names.");
    const std::map<std::string, std::string> expected = {
        {"bag", "D"},
        {"bag/files", "D"},
        {"bag/files/d", "D"},
        {"bag/files/d/two.bin", "F:" + bytes(5 * kSector, 100) + bytes(kSector, kSector)},
        {"bag/files/inline.txt", "F:kept!"},
        {"bag/files/past.bin", "F:" + bytes(7 * kSector, kSector) + std::string(kSector, '\0')},
        {"disc.iso", "F:" + image},
    };
    EXPECT_TRUE(Snapshot(temp.Path()) == expected);
    std::vector<std::string> taken, unread;
    for (const ArchivedFile& f : record.files) {
        taken.push_back(f.path);
        for (const ByteRange& range : f.damaged) {
            taken.back() += " " + std::to_string(range.begin) + "-" + std::to_string(range.end);
        }
    }
    for (const UnreadEntry& entry : record.unread) unread.push_back(entry.path);
    EXPECT_EQ(taken, (std::vector<std::string>{"inline.txt", "d/two.bin", "past.bin 2048-4096"}));
    EXPECT_EQ(unread, (std::vector<std::string>{"short.bin", "d/two.bin", "huge.bin"}));
    ASSERT_EQ(record.files.size(), 3u);
    EXPECT_EQ(record.files[1].sha256, Sha256Of(bytes(5 * kSector, 100) + bytes(kSector, kSector)));
    struct stat st {};
    ASSERT_EQ(::stat((temp / "bag/files/inline.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1'000'000'000);
}

// A disc whose every sector reads, each with bytes of its own, but for `gap`.
class WholeDisc : public archive::SectorSource {
  public:
    static std::byte At(std::uint64_t offset) {
        return static_cast<std::byte>(offset * 131 + offset / kSector);
    }
    archive::ByteRange gap;  // in sectors: no drive reads them
    bool Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) override {
        if (sector < gap.end && gap.begin < sector + count) return false;
        for (std::size_t i = 0; i < std::size_t{count} * kSector; ++i) {
            out[i] = At(sector * kSector + i);
        }
        return true;
    }
};

// What is wrong with a bag of `disc` in `target` whose image read the budget or the target cut
// short.
std::string CutBagProblems(const std::string& disc, const std::string& target, bool budget) {
    constexpr std::uint64_t kSectors = 4096;  // 8 MiB: more than the target holds
    WholeDisc source;
    const ImageRead how{[&](const std::string& imagePath, const std::string& mapPath,
                            const archive::RescueHooks& hooks, const archive::RescueMap*) {
                            return ReadIntoImage(source, kSectors, {}, "disc", imagePath, mapPath,
                                                 hooks);
                        },
                        nullptr};
    CopyIo io;
    ScriptedPrompts prompts;
    BagWriter writer(io, prompts);
    BagRequest request{disc, target, "DISC", {}};
    request.image = &how;
    if (budget) request.readUntil = std::chrono::steady_clock::now();
    const BagOutcome outcome = writer.Build(request);
    if (outcome.result != BagResult::Incomplete) {
        return "result " + std::to_string(int(outcome.result)) + " " +
               (outcome.failure ? outcome.failure->text : "");
    }
    std::string problems;
    const auto expect = [&](bool ok, const std::string& what) {
        if (!ok) problems += what + "; ";
    };
    expect(outcome.budgetSpent == budget && outcome.targetFull == !budget, "the outcome's why");
    expect(outcome.files == 0, "files taken out");
    expect(writer.Publish("Disc") == BagWriter::Published::Done, "not published");
    const std::string bag = target + "/Disc";
    if (const ::testing::AssertionResult checks = BagChecks(bag); !checks) {
        problems += std::string(checks.message()) + "; ";
    }
    expect(EntriesOf(bag).size() == 6, "the bag holds other than its five tags and data/");
    const std::string info = ReadFile(bag + "/bag-info.txt");
    expect(info.find(budget ? "\nDravolin-Stopped: the disc's time budget was spent before"
                            : "\nDravolin-Stopped: the target disk was full before") !=
               std::string::npos,
           "bag-info.txt: " + info);
    // What the map says was read is the disc's, and it is all the image holds.
    std::string listed;
    if (RunProgram({"ddrescuelog", "-b", "2048", "-l+", bag + "/data/image/disc.map"}, &listed) !=
        0) {
        return problems + "ddrescuelog refused the map";
    }
    const std::string image = ReadFile(bag + "/data/image/disc.iso");
    std::uint64_t read = 0;
    for (std::size_t at = 0; at < listed.size(); at = listed.find('\n', at) + 1) {
        const std::uint64_t sector = std::stoull(listed.substr(at));
        ++read;
        for (std::uint64_t i = sector * kSector; i < (sector + 1) * kSector; ++i) {
            if (static_cast<std::byte>(image.at(i)) != WholeDisc::At(i)) {
                return problems + "sector " + std::to_string(sector) + " is not the disc's";
            }
        }
    }
    expect(image.size() == kSectors * kSector, "the image's size");
    expect(budget ? read == 0 : read > 0 && read < kSectors, std::to_string(read) + " read");
    return problems;
}

// A read into the image that the time budget or a full target ends keeps the image and a map
// that says what it holds, room left for the map's last save and the tag files.
TEST(CutImageBags, KeepWhatWasReadAndSayWhy) {
    for (const bool budget : {true, false}) {
        SCOPED_TRACE(budget ? "time budget spent" : "target full");
        TempFolder temp;
        const std::string disc = temp / "disc", target = temp / "bags";
        MakeFolder(disc);
        MakeFolder(target);
        ExpectNoProblemsOnSmallDisk(target, "3m",
                                    [&] { return CutBagProblems(disc, target, budget); });
    }
}

// A disc of two sessions whose every sector of data reads makes a complete bag: the gap between
// its sessions is never read, stays untried in the map, and is no damage. The bag keeps the
// image, the files or both, as asked; an image that cannot be mounted is kept whatever was
// asked, and the bag, without the files, is incomplete.
TEST(ImageBesideBags, AGapBetweenSessionsIsNoDamageWhateverTheBagKeeps) {
    using archive::BagKeeps;
    struct KeepCase {
        BagKeeps keep;
        bool mountFails;
    };
    for (const KeepCase c : {KeepCase{BagKeeps::Both, false}, KeepCase{BagKeeps::Files, false},
                             KeepCase{BagKeeps::Image, false}, KeepCase{BagKeeps::Files, true}}) {
        SCOPED_TRACE(static_cast<int>(c.keep) * 10 + c.mountFails);
        TempFolder temp;
        const std::string disc = temp / "disc";
        MakeFolder(disc);
        WriteFile(disc + "/file.txt", "the last session's file");
        WholeDisc source;
        source.gap = {100, 200};
        ImageRead how{[&](const std::string& imagePath, const std::string& mapPath,
                          const archive::RescueHooks& hooks, const archive::RescueMap*) {
                          return ReadIntoImage(source, 300, {{100 * kSector, 200 * kSector}},
                                               "disc", imagePath, mapPath, hooks);
                      },
                      nullptr, c.keep};
        if (c.mountFails) {
            how.mount = [](int) {
                ImageMount::Options options;
                options.useUDisks2 = false;
                return ImageMount::Mount(-1, options);
            };
        }
        CopyIo io;
        ScriptedPrompts prompts;
        BagWriter writer(io, prompts);
        BagRequest request{disc, temp / "bags", "DISC", {}};
        request.image = &how;
        const BagOutcome outcome = writer.Build(request);
        ASSERT_EQ(outcome.result, c.mountFails ? BagResult::Incomplete : BagResult::Complete)
            << (outcome.failure ? outcome.failure->text : "");
        ASSERT_EQ(writer.Publish("Disc"), BagWriter::Published::Done);
        const std::string bag = temp / "bags/Disc";
        EXPECT_TRUE(BagChecks(bag));
        EXPECT_FALSE(std::filesystem::exists(bag + "/damaged-files.txt"));
        const bool files = c.keep != BagKeeps::Image && !c.mountFails,
                   image = c.keep != BagKeeps::Files || c.mountFails;
        EXPECT_EQ(outcome.files, files ? 1u : 0u);
        EXPECT_EQ(std::filesystem::exists(bag + "/data/files/file.txt"), files);
        EXPECT_EQ(std::filesystem::exists(bag + "/data/image"), image);
        const std::string info = ReadFile(bag + "/bag-info.txt");
        EXPECT_EQ(info.find("Dravolin-Stopped: the disc's files were not taken out of its image: "
                            "cannot mount it: ") != std::string::npos,
                  c.mountFails);
        EXPECT_EQ(info.find("Dravolin-Result: incomplete") != std::string::npos, c.mountFails);
        if (!image) continue;
        std::string untried;
        ASSERT_EQ(RunProgram({"ddrescuelog", "-b", "2048", "-l?", bag + "/data/image/disc.map"},
                             &untried),
                  0);
        EXPECT_EQ(untried.substr(0, 4), "100\n");
        EXPECT_EQ(std::count(untried.begin(), untried.end(), '\n'), 100);
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

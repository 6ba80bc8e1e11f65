// A damaged disc read again, in another drive or the same one, on from its incomplete bag: each
// drive is asked only for the sectors the bag still lacks, what an earlier read got is kept
// where a later drive fails it, and the merged bag replaces the earlier one, which stays as it
// was when the read gained nothing.
#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <set>
#include "BagTestSupport.h"
#include "LinuxTestSupport.h"
#include "archive/RescueMap.h"
#include "platform/linux/archive/LinuxArchiver.h"
#include "platform/linux/order/ImageTree.h"

namespace dravolin::lnx::test {
namespace {

constexpr std::uint64_t kDiscSector = archive::kSector;

struct SourceFile {
    const char* name;
    std::size_t size;
};
constexpr SourceFile kSources[] = {
    {"a.bin", 6 * kDiscSector + 100}, {"b.bin", 8 * kDiscSector}, {"c.txt", 3 * kDiscSector + 7}};

// The disc in one drive: its image, but for `bad` sectors the drive cannot read; every sector
// it was asked for is counted.
class DriveOfImage : public archive::SectorSource {
  public:
    DriveOfImage(const std::string& image, std::set<std::uint64_t> bad)
        : image_(image), bad_(std::move(bad)) {}
    std::set<std::uint64_t> asked;

    bool Read(std::uint64_t sector, std::uint32_t count, std::span<std::byte> out) override {
        bool whole = true;
        for (std::uint64_t at = sector; at < sector + count; ++at) {
            asked.insert(at);
            whole = whole && !bad_.contains(at);
        }
        if (whole)
            std::memcpy(out.data(), image_.data() + sector * kDiscSector, count * kDiscSector);
        return whole;
    }

  private:
    const std::string& image_;
    std::set<std::uint64_t> bad_;
};

using Sectors = std::vector<std::pair<int, std::uint64_t>>;  // (file, sector of it)

// The disc: an ISO 9660 image of kSources, made at `folder`.
class ReadOnDisc {
  public:
    explicit ReadOnDisc(const std::string& folder) {
        MakeFolder(folder + "/files");
        for (unsigned i = 0; i < std::size(kSources); ++i) {
            WriteFile(folder + "/files/" + kSources[i].name, Pattern(kSources[i].size, i + 1));
        }
        made_ = RunProgram({"genisoimage", "-quiet", "-R", "-o", folder + "/disc.iso",
                            folder + "/files"}) == 0;
        if (made_) image_ = ReadFile(folder + "/disc.iso");
    }
    bool Made() const { return made_; }
    const std::string& Image() const { return image_; }

    std::set<std::uint64_t> At(const Sectors& at) const {
        std::set<std::uint64_t> set;
        for (const auto& [file, sector] : at) {
            const std::string start = Pattern(kSources[file].size, file + 1).substr(0, 64);
            set.insert(image_.find(start) / kDiscSector + sector);
        }
        return set;
    }

    // The disc read in `drive`, which fails `fails`, into the bag `name` of `target`, on from
    // the bag `earlier` there (empty: none).
    Archiver::BagOutcome Read(std::shared_ptr<CopyIo> io, DriveOfImage& drive,
                              const std::string& target, const std::string& name,
                              const std::string& earlier, const char* driveName) const {
        LinuxArchiver archiver(
            LinuxArchiver::Parts{nullptr, nullptr, nullptr, nullptr, std::move(io), nullptr});
        ImageRead how{[&](const std::string& imagePath, const std::string& mapPath,
                          const archive::RescueHooks& hooks, const archive::RescueMap* from) {
                          return ReadIntoImage(drive, image_.size() / kDiscSector, {}, driveName,
                                               imagePath, mapPath, hooks, from);
                      },
                      nullptr};
        how.tree = [](const std::string& path) { return ReadImageTree(path); };
        Archiver::Bag bag;
        bag.name = name;
        bag.earlier = earlier;
        ScriptedPrompts prompts;
        return archiver.BagFiles(bag, target, {},
                                 {{"Dravolin-Drive", driveName}, {"Dravolin-Started", "T"}},
                                 prompts, &how);
    }

  private:
    bool made_ = false;
    std::string image_;
};

struct ReadOnStep {
    const char* drive;
    const char* name;                                  // the bag's
    std::vector<std::pair<int, std::uint64_t>> fails;  // (file, sector of it) the drive cannot read
    archive::DiscResult result;
    const char* folder;                                 // the bag the target then holds
    std::vector<std::pair<int, std::uint64_t>> asked;   // what the drive was asked for
    std::vector<std::pair<int, std::uint64_t>> unread;  // what the bag's map then lacks
    std::size_t reads;                                  // the bag's Dravolin-Read lines
};

TEST(ReadOnBags, AskEachDriveOnlyForWhatTheBagLacksAndReplaceItWhenMerged) {
    TempFolder temp;
    const ReadOnDisc disc(temp / "disc");
    if (!disc.Made()) GTEST_SKIP() << "needs genisoimage";
    const std::string target = temp / "bags", image = disc.Image();
    MakeFolder(target);
    const auto sectors = [&](const Sectors& at) { return disc.At(at); };

    using archive::DiscResult;
    // D lacks four sectors; F fails two of them and one D read; E one of those; H just that one
    // too, gaining nothing; G reads every one.
    const ReadOnStep steps[] = {
        {"D",
         "Disc D",
         {{0, 1}, {1, 2}, {1, 3}, {2, 0}},
         DiscResult::Incomplete,
         "Disc D (incomplete)",
         {},
         {{0, 1}, {1, 2}, {1, 3}, {2, 0}},
         1},
        {"F",
         "Disc F",
         {{1, 2}, {2, 0}, {0, 5}},
         DiscResult::Incomplete,
         "Disc F (incomplete)",
         {{0, 1}, {1, 2}, {1, 3}, {2, 0}},
         {{1, 2}, {2, 0}},
         2},
        // Named as the bag it reads on from: merged in its place.
        {"E",
         "Disc F",
         {{1, 2}},
         DiscResult::Incomplete,
         "Disc F (incomplete)",
         {{1, 2}, {2, 0}},
         {{1, 2}},
         3},
        {"H",
         "Disc H",
         {{1, 2}},
         DiscResult::Incomplete,
         "Disc F (incomplete)",
         {{1, 2}},
         {{1, 2}},
         3},
        {"G", "Disc G", {}, DiscResult::Complete, "Disc G", {{1, 2}}, {}, 4},
    };

    std::string earlier;
    for (const ReadOnStep& step : steps) {
        SCOPED_TRACE(step.drive);
        DriveOfImage drive(image, sectors(step.fails));
        const std::map<std::string, std::string> before = earlier.empty()
                                                              ? std::map<std::string, std::string>()
                                                              : Snapshot(target + "/" + earlier);
        const Archiver::BagOutcome outcome =
            disc.Read(std::make_shared<CopyIo>(), drive, target, step.name, earlier, step.drive);

        ASSERT_EQ(outcome.result, step.result);
        EXPECT_EQ(outcome.folderName, step.folder);
        EXPECT_EQ(drive.asked, earlier.empty() ? drive.asked : sectors(step.asked));
        EXPECT_EQ(outcome.readOn, !earlier.empty());
        const std::string bagPath = target + "/" + step.folder;
        // One bag in the target, whole, whose map lacks exactly what no drive read yet.
        EXPECT_EQ(EntriesOf(target), std::vector<std::string>{step.folder});
        EXPECT_TRUE(BagChecks(bagPath));
        std::string listed;
        ASSERT_EQ(RunProgram({"ddrescuelog", "-b", "2048", "-l-", bagPath + "/data/image/disc.map"},
                             &listed),
                  0);
        std::string expected;
        for (const std::uint64_t sector : sectors(step.unread))
            expected += std::to_string(sector) + "\n";
        EXPECT_EQ(listed, expected);
        if (outcome.readOn && outcome.gained == 0) {
            EXPECT_EQ(Snapshot(bagPath), before) << "a read that gained nothing changed the bag";
        }
        // Every byte some drive read is in the files; where none did, zeros.
        const std::set<std::uint64_t> unread = sectors(step.unread);
        for (unsigned i = 0; i < std::size(kSources); ++i) {
            std::string want = Pattern(kSources[i].size, i + 1);
            const std::uint64_t first = image.find(want.substr(0, 64)) / kDiscSector;
            for (std::uint64_t at = 0; at < want.size(); at += kDiscSector) {
                const std::uint64_t length = std::min<std::uint64_t>(kDiscSector, want.size() - at);
                if (unread.contains(first + at / kDiscSector))
                    want.replace(at, length, length, '\0');
            }
            EXPECT_EQ(ReadFile(bagPath + "/data/files/" + kSources[i].name), want) << i;
        }
        const std::string info = ReadFile(bagPath + "/bag-info.txt");
        std::size_t reads = 0;
        for (std::size_t at = info.find("\nDravolin-Read: "); at != std::string::npos;
             at = info.find("\nDravolin-Read: ", at + 1)) {
            ++reads;
        }
        EXPECT_EQ(reads, step.reads) << info;
        earlier = step.folder;
    }
}

// A read on killed at any call (a power cut) leaves the earlier bag as it was, or the merged bag
// whole in its place; what it got before, the next read on keeps, though its drive reads
// nothing; and the target then holds that one bag.
TEST(KilledReadOns, LeaveTheEarlierBagAsItWasOrTheMergedOneWhole) {
    TempFolder temp(MemoryFolder());
    const ReadOnDisc disc(temp / "disc");
    if (!disc.Made()) GTEST_SKIP() << "needs genisoimage";
    const std::string first = temp / "first", earlier = "Disc (incomplete)";
    DriveOfImage scratched(disc.Image(), disc.At({{0, 1}, {1, 2}}));
    ASSERT_EQ(disc.Read(std::make_shared<CopyIo>(), scratched, first, "Disc", "", "D").result,
              archive::DiscResult::Incomplete);
    const std::map<std::string, std::string> before = Snapshot(first + "/" + earlier);
    const std::uint64_t rescued =
        archive::ParseMapText(ReadFile(first + "/" + earlier + "/data/image/disc.map"))
            ->map.Bytes(archive::BlockState::Rescued);
    // The next drive reads one of the two sectors; the merged bag takes the earlier one's name.
    const std::set<std::uint64_t> stillBad = disc.At({{1, 2}});
    const auto readOn = [&](std::shared_ptr<CopyIo> io, const std::string& target) {
        DriveOfImage drive(disc.Image(), stillBad);
        return disc.Read(std::move(io), drive, target, "Disc", earlier, "E");
    };
    const auto copyOf = [&](const std::string& target) {
        return RunProgram({"cp", "-a", first, target}) == 0;
    };
    int steps = 0;
    {
        auto io = std::make_shared<StepIo>();
        ASSERT_TRUE(copyOf(temp / "whole"));
        ASSERT_EQ(readOn(io, temp / "whole").folderName, earlier);
        steps = io->Count(Step::Any);
    }
    int merged = 0;
    for (int at = 1; at <= steps; ++at) {
        SCOPED_TRACE("killed at call " + std::to_string(at));
        const std::string target = temp / ("bags" + std::to_string(at));
        ASSERT_TRUE(copyOf(target));
        const int status = RunChild([&] {
            auto io = std::make_shared<StepIo>();
            io->at = at;
            io->crash = true;
            readOn(io, target);
            return 1;
        });
        ASSERT_EQ(status, 0);
        const std::string bag = target + "/" + earlier;
        ASSERT_TRUE(BagChecks(bag, false));
        bool got = Snapshot(bag) != before;
        merged += got;
        for (const std::string& name : EntriesOf(target)) {
            const auto map =
                archive::ParseMapText(ReadFile(target + "/" + name + "/data/image/disc.map"));
            got = got || (name != earlier && map &&
                          map->map.Bytes(archive::BlockState::Rescued) > rescued);
        }
        DriveOfImage blind(disc.Image(), disc.At({{0, 1}, {1, 2}}));
        disc.Read(std::make_shared<CopyIo>(), blind, target, "Disc", earlier, "H");
        EXPECT_EQ(EntriesOf(target), std::vector<std::string>{earlier});
        ASSERT_TRUE(BagChecks(bag, false));
        const auto map = archive::ParseMapText(ReadFile(bag + "/data/image/disc.map"));
        ASSERT_TRUE(map);
        EXPECT_EQ(map->map.Bytes(archive::BlockState::Bad), (got ? 1 : 2) * kDiscSector);
    }
    EXPECT_GT(merged, 0);
}

}  // namespace
}  // namespace dravolin::lnx::test

// How much of a disc is imaged: what the table of contents and the file system say, against a
// real ISO 9660 image made by genisoimage.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <gtest/gtest.h>
#include <optional>
#include "FakeSystem.h"
#include "LinuxTestSupport.h"
#include "platform/linux/archive/DriveImage.h"
#include "platform/linux/archive/TargetRoom.h"

namespace dravolin::lnx::test {
namespace {

// An ISO 9660 disc of one file of `size` bytes, made by genisoimage in `folder`: its path, or
// empty when it could not be made.
std::string MakeIso(const TempFolder& folder, std::size_t size, unsigned seed) {
    MakeFolder(folder.Path() + "/files");
    WriteFile(folder.Path() + "/files/data.bin", Pattern(size, seed));
    const std::string iso = folder.Path() + "/disc.iso";
    const int made =
        RunProgram({"genisoimage", "-quiet", "-R", "-o", iso, folder.Path() + "/files"});
    return made == 0 ? iso : std::string();
}

struct ExtentCase {
    const char* name;
    bool blank;                   // zeros instead of the ISO image
    long leadOutPastVolume;       // the lead-out, in sectors after the volume's end
    std::optional<long> sectors;  // what is imaged, in sectors after the volume's end
};

TEST(ImageSectors, TheVolumeEndsTheImageWhereTheLeadOutLiesFurther) {
    if (RunProgram({"genisoimage", "-version"}) != 0) {
        GTEST_SKIP() << "genisoimage is needed (scripts/install-deps)";
    }
    const TempFolder folder;
    const std::string iso = MakeIso(folder, 100000, 3);
    ASSERT_FALSE(iso.empty());
    const long volume = static_cast<long>(ReadFile(iso).size() / 2048);
    const std::vector<ExtentCase> cases = {
        {"a CD-R's two run-out blocks after the volume", false, 2, 0},
        {"the lead-out where the volume ends", false, 0, 0},
        {"a volume that claims more than the disc holds", false, -10, -10},
        {"no file system: the lead-out", true, 5, 5},
        {"no lead-out", false, -volume, std::nullopt},
    };
    for (const ExtentCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string disc = folder.Path() + "/disc.img";
        WriteFile(disc, c.blank ? std::string(static_cast<std::size_t>(volume) * 2048, '\0')
                                : ReadFile(iso));
        FakeCdrom drive;
        drive.leadOutLba = volume + c.leadOutPastVolume;
        const UniqueFd fd = drive.Open(disc);
        ASSERT_TRUE(fd.Valid());
        const std::optional<std::uint64_t> sectors = ImageSectors(drive, fd.Get());
        const std::optional<std::uint64_t> expected =
            c.sectors ? std::optional<std::uint64_t>(volume + *c.sectors) : std::nullopt;
        EXPECT_EQ(sectors, expected);
    }
}

// A disc is imaged only where it has a file system, its files come out of the image only where
// a loop device mounts what the disc shows (not the last session of several), and only where
// the target has room for the image and the files both.
TEST(ImageUseOf, FilesFromTheImageOnlyForOneSessionWithAFileSystemAndRoom) {
    if (RunProgram({"genisoimage", "-version"}) != 0) {
        GTEST_SKIP() << "genisoimage is needed (scripts/install-deps)";
    }
    const TempFolder folder;
    const std::string iso = MakeIso(folder, 5000, 4);
    ASSERT_FALSE(iso.empty());
    const std::string volume = ReadFile(iso);
    const long second = static_cast<long>(volume.size() / 2048);
    const std::uint64_t plenty = UINT64_MAX, once = volume.size() * 3 / 2;
    using archive::BagKeeps;
    struct UseCase {
        const char* name;
        std::string disc;
        long sessionLba;
        BagKeeps keep;
        std::uint64_t room;
        ImageUse use;
        bool sessionsRead = false;  // the libraries read an image's last session
    };
    const std::vector<UseCase> cases = {
        {"one session", volume, 0, BagKeeps::Both, plenty, ImageUse::FilesFromImage},
        {"a second session", volume + volume, second, BagKeeps::Both, plenty,
         ImageUse::ImageBeside},
        {"no file system", std::string(volume.size(), '\0'), 0, BagKeeps::Both, plenty,
         ImageUse::None},
        {"none where the last session begins", volume + volume, second + 1, BagKeeps::Both, plenty,
         ImageUse::None},
        {"the files alone", volume, 0, BagKeeps::Files, plenty, ImageUse::FilesFromImage},
        {"the files alone of a second session", volume + volume, second, BagKeeps::Files, plenty,
         ImageUse::None},
        {"the image alone", volume + volume, second, BagKeeps::Image, 0, ImageUse::ImageOnly},
        {"room for the image, not the files", volume, 0, BagKeeps::Both, once, ImageUse::NoRoom},
        {"room for the files, not the image", volume, 0, BagKeeps::Files, once, ImageUse::None},
        {"a second session the libraries read", volume + volume, second, BagKeeps::Both, plenty,
         ImageUse::FilesFromLastSession, true},
        {"the files alone of a second session the libraries read", volume + volume, second,
         BagKeeps::Files, plenty, ImageUse::FilesFromLastSession, true},
        {"no room for a second session the libraries read", volume + volume, second, BagKeeps::Both,
         once, ImageUse::NoRoom, true},
        {"one session where the libraries read", volume, 0, BagKeeps::Both, plenty,
         ImageUse::FilesFromImage, true},
    };
    for (const UseCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string disc = folder.Path() + "/disc.img";
        WriteFile(disc, c.disc);
        FakeCdrom drive;
        drive.sessionLba = c.sessionLba;
        drive.leadOutLba = static_cast<long>(c.disc.size() / 2048);
        std::uint64_t session = 1;
        EXPECT_EQ(ImageUseOf(
                      drive, disc, c.keep, [&](std::uint64_t bytes) { return bytes <= c.room; },
                      c.sessionsRead, &session),
                  c.use);
        EXPECT_EQ(session, static_cast<std::uint64_t>(c.sessionLba) * 2048);
    }
}

// Two discs bagged into one target at once are each promised room only where the other's
// promise leaves it, and a promise counts until its disc is done; a target folder that is not
// there yet is on its parent's disk.
TEST(TargetRoom, APromiseKeepsItsRoomFromTheNextDiscUntilItGoes) {
    const TempFolder folder;
    struct statvfs space {};
    ASSERT_EQ(::statvfs(folder.Path().c_str(), &space), 0);
    const std::uint64_t most = std::uint64_t{space.f_bavail} * space.f_frsize / 5 * 3;
    const std::string target = folder.Path() + "/not/yet";
    TargetRoom room;
    std::unique_ptr<TargetRoom::Promise> first = room.Take(target, most);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(room.Take(folder.Path(), most), nullptr);
    EXPECT_NE(room.Take(folder.Path(), most / 10), nullptr);
    first.reset();
    EXPECT_NE(room.Take(folder.Path(), most), nullptr);
    EXPECT_EQ(room.Take(folder.Path(), UINT64_MAX), nullptr);
}

// The ranges without data: audio tracks, and from each session's volume to the next track.
TEST(DataGaps, AreAudioTracksAndWhatLiesBetweenSessions) {
    if (RunProgram({"genisoimage", "-version"}) != 0) {
        GTEST_SKIP() << "genisoimage is needed (scripts/install-deps)";
    }
    const TempFolder folder;
    const std::string iso = MakeIso(folder, 5000, 5);
    ASSERT_FALSE(iso.empty());
    const std::string volume = ReadFile(iso);
    const long size = static_cast<long>(volume.size() / 2048);
    const long second = size + 11400, third = second + size + 11400;
    // The second session's volume counts from the disc's start, as a session added to a disc
    // says (its primary descriptor's volume space size, both byte orders, at 80).
    std::string next = volume;
    const auto end = static_cast<std::uint32_t>(second + size);
    for (int i = 0; i < 4; ++i) {
        next[16 * 2048 + 80 + i] = static_cast<char>(end >> (8 * i));
        next[16 * 2048 + 87 - i] = static_cast<char>(end >> (8 * i));
    }
    std::string disc = volume + std::string(11400 * 2048, '\0') + next;
    disc += std::string(11400 * 2048, '\0') + volume;
    WriteFile(folder.Path() + "/disc.img", disc);
    const auto bytes = [](long sector) { return static_cast<std::uint64_t>(sector) * 2048; };
    struct GapCase {
        const char* name;
        std::vector<std::pair<long, bool>> tracks;
        long leadOut;  // 0: not told
        std::vector<archive::ByteRange> gaps;
    };
    const std::vector<GapCase> cases = {
        {"one session", {{0, true}}, size, {}},
        {"two sessions",
         {{0, true}, {second, true}},
         second + size,
         {{bytes(size), bytes(second)}}},
        {"three sessions",
         {{0, true}, {second, true}, {third, true}},
         third + size,
         {{bytes(size), bytes(second)}, {bytes(second + size), bytes(third)}}},
        {"audio after the data, joined to its run-out",
         {{0, true}, {size + 152, false}},
         size + 5000,
         {{bytes(size), bytes(size + 5000)}}},
        {"an Enhanced CD: audio tracks, then a data session",
         {{0, false}, {5000, false}, {second, true}},
         second + size,
         {{0, bytes(second)}}},
        {"no lead-out: the last track's end is not known", {{0, true}, {size, false}}, 0, {}},
        {"no table of contents", {}, size, {}},
        // The third session's volume ends before it begins: nothing is known of that gap.
        {"a volume that ends before its track",
         {{0, true}, {third, true}, {third + 10, true}},
         third + size,
         {{bytes(size), bytes(third)}}},
    };
    for (const GapCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCdrom drive;
        drive.tracks = c.tracks;
        drive.leadOutLba = c.leadOut;
        const UniqueFd fd = drive.Open(folder.Path() + "/disc.img");
        ASSERT_TRUE(fd.Valid());
        EXPECT_EQ(DataGaps(drive, fd.Get()), c.gaps);
    }
}

}  // namespace
}  // namespace dravolin::lnx::test

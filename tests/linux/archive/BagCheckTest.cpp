// A bag checked again after it was made: each way a bag can change is found and named, and the
// check itself changes nothing, follows no link and reaches nothing outside the bag.
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <functional>
#include "BagTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/archive/BagCheck.h"
#include "platform/linux/archive/LinuxArchiver.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {
namespace {

constexpr char kOddName[] = "50%0A off\nnext";

struct Alteration {
    const char* name;
    std::function<void(const std::string& bag)> alter;
    archive::BagVerdict verdict;
    std::vector<std::string> changed = {}, missing = {}, extra = {};
};

void PrintTo(const Alteration& c, std::ostream* os) {
    *os << c.name;
}

// Every entry below `folder`, with a file's bytes and a link's target: what a check must leave.
std::string TreeListing(const std::string& folder) {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::string line = entry.path().native() + "\n";
        if (entry.is_symlink()) {
            line += std::filesystem::read_symlink(entry.path()).native();
        } else if (entry.is_regular_file()) {
            line += ReadFile(entry.path());
        }
        entries.push_back(line);
    }
    std::sort(entries.begin(), entries.end());
    std::string listing;
    for (const std::string& line : entries) listing += line + "\n";
    return listing;
}

void Append(const std::string& path, const std::string& bytes) {
    WriteFile(path, ReadFile(path) + bytes);
}

class AlteredBags : public ::testing::TestWithParam<Alteration> {};

TEST_P(AlteredBags, NameWhatChangedAndChangeNothing) {
    const Alteration& c = GetParam();
    TempFolder temp;
    MakeFolder(temp / "disc/sub");
    WriteFile(temp / "disc/a.txt", "hello\n");
    WriteFile(temp / "disc/sub/b.bin", Pattern(70000, 3));
    WriteFile(temp / "disc" + "/" + kOddName, "odd\n");
    LinuxArchiver archiver(LinuxArchiver::Parts{nullptr, nullptr, nullptr, nullptr,
                                                std::make_shared<CopyIo>(), nullptr});
    Archiver::Bag bag;
    bag.name = "Disc";
    ScriptedPrompts prompts;
    ASSERT_EQ(archiver.BagFiles(bag, temp / "bags", temp / "disc", {}, prompts).result,
              archive::DiscResult::Complete);
    c.alter(temp / "bags/Disc");
    const std::string before = TreeListing(temp / "bags");

    const UniqueFd target(::open((temp / "bags").c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(BagsIn(target.Get()), std::vector<std::string>{"Disc"});
    std::uint64_t read = 0;
    const auto found = CheckBag(target.Get(), "Disc", [&](std::uint64_t bytes) {
        read = bytes;
        return true;
    });
    ASSERT_TRUE(found);
    EXPECT_EQ(archive::VerdictOf(*found), c.verdict);
    EXPECT_EQ(found->changed, c.changed);
    EXPECT_EQ(found->missing, c.missing);
    EXPECT_EQ(found->extra, c.extra);
    EXPECT_GE(read, 70000u);
    EXPECT_EQ(TreeListing(temp / "bags"), before);
    // Told to stop, it stops.
    EXPECT_FALSE(CheckBag(target.Get(), "Disc", [](std::uint64_t) { return false; }));
}

INSTANTIATE_TEST_SUITE_P(
    Archive, AlteredBags,
    ::testing::Values(
        Alteration{"Untouched", [](const std::string&) {}, archive::BagVerdict::Valid},
        Alteration{"AByteChanged",
                   [](const std::string& bag) { WriteFile(bag + "/data/files/a.txt", "hellO\n"); },
                   archive::BagVerdict::Changed,
                   {"data/files/a.txt"}},
        Alteration{
            "AFileRemoved",
            [](const std::string& bag) { ::unlink((bag + "/data/files/" + kOddName).c_str()); },
            archive::BagVerdict::MissingFiles,
            {},
            {std::string("data/files/") + kOddName}},
        Alteration{"AFileAdded",
                   [](const std::string& bag) { WriteFile(bag + "/data/files/new.txt", "x"); },
                   archive::BagVerdict::ExtraFiles,
                   {},
                   {},
                   {"data/files/new.txt"}},
        Alteration{"ATagFileChanged",
                   [](const std::string& bag) { Append(bag + "/bag-info.txt", "Note: x\n"); },
                   archive::BagVerdict::Changed,
                   {"bag-info.txt"}},
        // A file swapped for a link to another is not followed: it is no file of the bag; a
        // manifest line that climbs out of the bag finds nothing.
        Alteration{"ALinkAndAPathOutOfTheBag",
                   [](const std::string& bag) {
                       const std::string file = bag + "/data/files/a.txt";
                       ::unlink(file.c_str());
                       ASSERT_EQ(::symlink("/etc/hostname", file.c_str()), 0);
                       Append(bag + "/manifest-sha256.txt",
                              std::string(64, '0') + "  data/../../../disc/a.txt\n");
                   },
                   archive::BagVerdict::Changed,
                   {"manifest-sha256.txt"},
                   {"data/files/a.txt", "data/../../../disc/a.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::lnx::test

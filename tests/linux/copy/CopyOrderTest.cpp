// The copy in the order a disc's files lie: discs made here with their data in an order that has
// nothing to do with the names, read by the libraries of the field; the tree copied is always
// the folder itself, so each row shows what the disc's directories may and may not change.
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/copy/CopyOrder.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/order/LayoutReply.h"
#include "platform/linux/order/ReadApart.h"

namespace dravolin::lnx::test {
namespace {

// The files a copy starts reading, in the order it does.
class OrderIo : public FaultyIo {
  public:
    std::string prefix;  // the source folder, with its slash
    std::vector<std::string> opened;

    ssize_t CopyRange(int in, off_t inOffset, int out, off_t outOffset,
                      std::size_t length) override {
        Note(in);
        return FaultyIo::CopyRange(in, inOffset, out, outOffset, length);
    }
    ssize_t Read(int fd, void* buffer, std::size_t length, off_t offset) override {
        Note(fd);
        return FaultyIo::Read(fd, buffer, length, offset);
    }

  private:
    void Note(int fd) {
        const std::lock_guard<std::mutex> hold(lock_);
        std::string path = PathOfFd(fd);
        if (path.rfind(prefix, 0) == 0) path.erase(0, prefix.size());
        if (opened.empty() || opened.back() != path) opened.push_back(path);
    }
    std::mutex lock_;
};

enum class Disc { RockRidge, Joliet, Plain, UdfBridge, Garbage, Looping };
// The layout helper the copy starts: the one the build made, none where it should be, or one
// that a crash in its library ends after it has written a layout (the files in reverse name
// order): what a helper says counts only when it ends well.
enum class Helper { Built, Missing, Crashing };

// Far more than reading these discs takes; what a disc the library never finishes costs.
constexpr std::chrono::seconds kReadingTime{5};

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= std::uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    }
    return value;
}

// Points the root's folder "A" back at the root itself in the image's directories; the
// mounted tree (the folder the image was made from) keeps its folders as they are.
void LeadBackToTheRoot(const std::string& image) {
    std::string bytes = ReadFile(image);
    const std::size_t rootRecord = 16 * 2048 + 156;
    const std::uint32_t root = Le32(bytes, rootRecord + 2);
    for (std::size_t at = root * 2048; at < (root + 1) * 2048 && bytes[at] != 0;
         at += static_cast<unsigned char>(bytes[at])) {
        if (bytes[at + 32] != 1 || bytes[at + 33] != 'A') continue;
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[at + 2 + i] = static_cast<char>(root >> (8 * i));
            bytes[at + 9 - i] = static_cast<char>(root >> (8 * i));
        }
        WriteFile(image, bytes);
        return;
    }
    ADD_FAILURE() << "no folder A in the image's root";
}

struct OrderRow {
    const char* name;
    Disc disc;
    std::vector<std::string> imageOnly;  // on the disc's directories, gone from the tree
    std::vector<std::string> treeOnly;   // in the tree, never on the disc
    bool nameOrderAsked;
    std::vector<std::string> expected;
    // A file in the target where this folder of the disc would go: the copy is told to skip
    // the folder, once, and its files are left out wherever they lie.
    std::string blocked = {};
    Helper helper = Helper::Built;
};

// Heavier first on the disc: an order unrelated to the names and across folders.
const std::vector<std::pair<std::string, int>> kWeights = {
    {"m.txt", 70}, {"a/sub/z", 60}, {"c/q", 50},    {"B/x", 40},
    {"a/y", 30},   {"Zz", 20},      {"a/sub/w", 10}};
const std::vector<std::string> kDiscOrder = {"m.txt", "a/sub/z", "c/q",    "B/x",
                                             "a/y",   "Zz",      "a/sub/w"};
// Names sorted by their bytes, a folder entered when it is met.
const std::vector<std::string> kNameOrder = {"B/x", "Zz",  "a/sub/w", "a/sub/z",
                                             "a/y", "c/q", "m.txt"};

void PrintTo(const OrderRow& row, std::ostream* out) {
    *out << row.name;
}

void Put(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, bytes);
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const OrderRow kOrderRows[] = {
    {"RockRidgeNames", Disc::RockRidge, {}, {}, false, kDiscOrder},
    {"JolietNames", Disc::Joliet, {}, {}, false, kDiscOrder},
    {"UdfBridge", Disc::UdfBridge, {}, {}, false, kDiscOrder},
    // Plain names are shown lower-case: "B/x" and "Zz" are not the names the disc has, so
    // they come after the files it places, in name order.
    {"PlainIsoNamesOnlyPlaceWhatTheyMatch",
     Disc::Plain,
     {},
     {},
     false,
     {"m.txt", "a/sub/z", "c/q", "a/y", "a/sub/w", "B/x", "Zz"}},
    {"FilesTheDiscDoesNotPlaceComeLastInNameOrder",
     Disc::RockRidge,
     {},
     {"0first", "a/later"},
     false,
     Join(kDiscOrder, {"0first", "a/later"})},
    {"NamesOnlyTheDiscHasAreIgnored",
     Disc::RockRidge,
     {"ghost/g", "a/phantom", "0zero"},
     {},
     false,
     kDiscOrder},
    {"DiscPlacingHalfTheFilesOrNoneKeepsNameOrder",
     Disc::RockRidge,
     {},
     {"n1", "n2", "n3", "n4", "n5", "n6", "n7"},
     false,
     Join({"B/x", "Zz", "a/sub/w", "a/sub/z", "a/y", "c/q", "m.txt"},
          {"n1", "n2", "n3", "n4", "n5", "n6", "n7"})},
    {"GarbageDiscKeepsNameOrder", Disc::Garbage, {}, {}, false, kNameOrder},
    {"NameOrderAskedFor", Disc::RockRidge, {}, {}, true, kNameOrder},
    // libisofs never finishes this disc: it is given up after a while, in name order.
    {"DiscWhoseFolderHoldsTheRootKeepsNameOrder", Disc::Looping, {}, {}, false, kNameOrder},
    {"AFolderSkippedStaysSkipped",
     Disc::RockRidge,
     {},
     {},
     false,
     {"m.txt", "c/q", "B/x", "Zz"},
     "a"},
    // Without its helper, or with one that crashes, only the order is lost: never a file.
    {"NoHelperKeepsNameOrder", Disc::RockRidge, {}, {}, false, kNameOrder, "", Helper::Missing},
    {"CrashingHelperKeepsNameOrder",
     Disc::RockRidge,
     {},
     {},
     false,
     kNameOrder,
     "",
     Helper::Crashing},
};

class CopyOrderTable : public ::testing::TestWithParam<OrderRow> {
  protected:
    void SetUp() override {
        if (RunProgram({"genisoimage", "-version"}) != 0) {
            GTEST_SKIP() << "genisoimage is needed (scripts/install-deps)";
        }
    }
    void TearDown() override { ::unsetenv("DRAVOLIN_COPY_ORDER"); }

    TempFolder temp;
    std::string source = temp / "disc";
    std::string target = temp / "target";
    std::string image = temp / "disc.iso";
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(CopyOrderTable, FilesAreCopiedOnceEachInTheOrderTheyLie) {
    const OrderRow& row = GetParam();
    unsigned seed = 1;
    for (const auto& [path, weight] : kWeights) Put(source + "/" + path, Pattern(5000, ++seed));
    for (const std::string& path : row.imageOnly) Put(source + "/" + path, Pattern(3000, ++seed));

    if (row.disc == Disc::Garbage) {
        Put(image, Pattern(300 * 2048, 99));
    } else {
        std::ofstream weights(temp / "weights");
        for (const auto& [path, weight] : kWeights)
            weights << source << "/" << path << " " << weight << "\n";
        weights.close();
        std::vector<std::string> args = {"genisoimage",    "-quiet", "-sort",
                                         temp / "weights", "-o",     image};
        if (row.disc == Disc::RockRidge || row.disc == Disc::Looping)
            args.insert(args.end(), {"-R", "-J"});
        if (row.disc == Disc::Joliet) args.push_back("-J");
        if (row.disc == Disc::UdfBridge) args.push_back("-udf");
        args.push_back(source);
        std::string output;
        ASSERT_EQ(RunProgram(args, &output), 0) << output;
        if (row.disc == Disc::Looping) LeadBackToTheRoot(image);
    }
    for (const std::string& path : row.imageOnly) std::filesystem::remove(source + "/" + path);
    for (const std::string& path : row.treeOnly) Put(source + "/" + path, Pattern(2000, ++seed));
    if (row.nameOrderAsked) ::setenv("DRAVOLIN_COPY_ORDER", "name", 1);

    OrderIo io;
    io.prefix = source + "/";
    ScriptedPrompts prompts;
    prompts.errorDefault = ErrorDecision::Skip;
    if (!row.blocked.empty()) Put(target + "/" + row.blocked, "blocker");
    TreeCopier copier(io, prompts);
    std::string helper = temp / "no-helper";
    if (row.helper == Helper::Built) {
        const std::optional<std::string> built = FindLayoutHelper();
        ASSERT_TRUE(built) << "the build tree's libexec/dravolin/" << kLayoutHelperName;
        helper = *built;
    } else if (row.helper == Helper::Crashing) {
        FileStarts reversed;
        for (std::size_t i = 0; i < kNameOrder.size(); ++i) {
            reversed.emplace(kNameOrder[i], kNameOrder.size() - i);
        }
        WriteFile(temp / "layout", EncodeLayout(reversed));
        helper = temp / "crashing-helper";
        WriteFile(helper, "#!/bin/sh\ncat '" + temp / "layout" + "'\nkill -SEGV $$\n", 0755);
    }
    const std::string fsType = row.disc == Disc::UdfBridge ? "udf" : "iso9660";
    copier.ReadStartsWith([&](const std::string& folder, std::uint64_t maxEntries) {
        EXPECT_EQ(folder, source);
        return ReadApart(helper, fsType, image, maxEntries, kReadingTime);
    });
    const TreeCopier::Result result = copier.Copy(source, target);

    EXPECT_EQ(io.opened, row.expected);
    EXPECT_EQ(Sorted(io.opened), Sorted(row.expected)) << "each file once, none left out";
    std::map<std::string, std::string> arrived = Snapshot(source);
    if (row.blocked.empty()) {
        EXPECT_EQ(result.outcome, CopyOutcome::Completed);
        EXPECT_TRUE(prompts.failures.empty());
    } else {
        EXPECT_EQ(result.outcome, CopyOutcome::Failed);
        EXPECT_EQ(prompts.failures.size(), 1u);
        std::erase_if(arrived, [&](const auto& entry) {
            return entry.first == row.blocked || entry.first.rfind(row.blocked + "/", 0) == 0;
        });
        arrived[row.blocked] = "F:blocker";
    }
    EXPECT_TRUE(Snapshot(target) == arrived);
    EXPECT_TRUE(TempLeftovers(target).empty());
}

// A folder the scan could not read or would not enter keeps name order wherever it lies, and
// the disc's directories are then not read at all: the order would be refused anyway.
TEST(MayReorder, NotWithAFolderTheScanLeftAtAnyDepth) {
    const auto node = [](const std::string& name, bool folder) {
        SourceNode made;
        made.name = name;
        made.folder = folder;
        return made;
    };
    for (int depth = 0; depth <= 3; ++depth) {
        SourceNode root = node("", true);
        root.children.push_back(node("file", false));
        SourceNode* deepest = &root;
        for (int i = 0; i < depth; ++i) {
            deepest->children.push_back(node("f" + std::to_string(i), true));
            deepest = &deepest->children.back();
        }
        EXPECT_TRUE(MayReorder(root)) << "depth " << depth;
        deepest->problem = FolderProblem::Unreadable;
        EXPECT_FALSE(MayReorder(root)) << "depth " << depth;
    }
}

INSTANTIATE_TEST_SUITE_P(Discs, CopyOrderTable, ::testing::ValuesIn(kOrderRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::lnx::test

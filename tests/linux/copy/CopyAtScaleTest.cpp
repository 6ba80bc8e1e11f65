// The copy engine on trees of the size and shape of real discs, under the descriptor limit a
// desktop session gives its programs (or less), set by each test for itself.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/copy/TreeCopier.h"

namespace dravolin::lnx::test {
namespace {

// `top` folders under the root with `sub` folders each, a chain of `chain` nested folders
// beside them, and `files` small files in every folder but the root.
struct TreeShape {
    const char* title;
    int top;
    int sub;
    int chain;
    int files;
    rlim_t limit;
};

void MakeSmallFiles(const std::string& folder, int count, unsigned seed) {
    for (int i = 0; i < count; ++i) {
        const std::size_t size = 100 + (seed * 131 + static_cast<unsigned>(i) * 977) % 3000;
        WriteFile(folder + "/file" + std::to_string(i), Pattern(size, seed * 16 + i));
    }
}

int MakeTree(const std::string& root, const TreeShape& shape) {
    int folders = 0;
    unsigned seed = 0;
    for (int t = 0; t < shape.top; ++t) {
        const std::string top = root + "/top" + std::to_string(t);
        MakeFolder(top);
        MakeSmallFiles(top, shape.files, ++seed);
        ++folders;
        for (int s = 0; s < shape.sub; ++s) {
            const std::string sub = top + "/sub" + std::to_string(s);
            MakeFolder(sub);
            MakeSmallFiles(sub, shape.files, ++seed);
            ++folders;
        }
    }
    std::string deep = root;
    for (int level = 0; level < shape.chain; ++level) {
        deep += "/c" + std::to_string(level);
        MakeFolder(deep);
        MakeSmallFiles(deep, shape.files, ++seed);
        ++folders;
    }
    return folders;
}

class TreesAtScale : public ::testing::TestWithParam<TreeShape> {};

TEST_P(TreesAtScale, CopyCompletelyUnderTheDescriptorLimit) {
    const TreeShape& shape = GetParam();
    const TempFolder temp(MemoryFolder());
    const std::string source = temp / "disc", target = temp / "target";
    MakeFolder(source);
    const int folders = MakeTree(source, shape);
    FaultyIo io;
    ScriptedPrompts prompts;
    prompts.errorDefault = ErrorDecision::Skip;  // an error must not end the copy unseen
    TreeCopier::Result result;
    const std::size_t openBefore = OpenDescriptors();
    {
        const ScopedDescriptorLimit limit(shape.limit);
        ASSERT_TRUE(limit.Applied());
        TreeCopier copier(io, prompts);
        result = copier.Copy(source, target);
    }

    EXPECT_EQ(result.outcome, CopyOutcome::Completed);
    ASSERT_TRUE(prompts.failures.empty())
        << prompts.failures.size() << " failures, the first: " << prompts.failures[0].text;
    const auto copied = Snapshot(target);
    EXPECT_EQ(copied.size(), static_cast<std::size_t>(folders * (1 + shape.files)));
    EXPECT_TRUE(copied == Snapshot(source));
    EXPECT_TRUE(TempLeftovers(target).empty());
    EXPECT_EQ(OpenDescriptors(), openBefore) << "descriptors left open";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, TreesAtScale,
    ::testing::Values(
        // A help disc: one small file in each of 800 folders, at a desktop session's limit.
        TreeShape{"EightHundredFoldersAtTheSessionLimit", 800, 0, 0, 1, 1024},
        // 5,000 folders, wide and 200 deep, with 20,000 files, at a quarter of it.
        TreeShape{"FiveThousandFoldersWideAndDeep", 40, 119, 200, 4, 256}),
    [](const auto& info) { return std::string(info.param.title); });

}  // namespace
}  // namespace dravolin::lnx::test

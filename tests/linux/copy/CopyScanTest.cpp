// The reading of the disc's folders before the copy: progress, Cancel, folders that lead back
// into themselves, too many levels, too many entries.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <atomic>
#include "ChildProcess.h"
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/copy/CopyOperation.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {
namespace {

class CopyScan : public ::testing::Test {
  protected:
    void SetUp() override { MakeFolder(source); }
    TreeCopier::Result CopyAll(ScanLimits limits = {}) {
        TreeCopier copier(io, prompts, limits);
        return copier.Copy(source, target);
    }
    // The file count of the target, folders left out.
    std::size_t FilesCopied() {
        std::size_t files = 0;
        if (::access(target.c_str(), F_OK) != 0) return 0;
        for (const auto& [path, content] : Snapshot(target)) files += content[0] == 'F';
        return files;
    }

    TempFolder temp;
    std::string source = temp / "disc";
    std::string target = temp / "target";
    FaultyIo io;
    ScriptedPrompts prompts;
};

std::string Chain(int levels) {
    std::string path;
    for (int level = 0; level < levels; ++level) path += "/c" + std::to_string(level);
    return path;
}

struct CancelCase {
    const char* title;
    bool byWorkerHandle;  // else the progress window's Cancel
};

class ScanCancel : public CopyScan, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(ScanCancel, TheReadingShowsItselfAndStopsWithinOneFolder) {
    for (int i = 0; i < 40; ++i) {
        MakeFolder(source + "/f" + std::to_string(i));
        WriteFile(source + "/f" + std::to_string(i) + "/a", Pattern(100, i));
        WriteFile(source + "/f" + std::to_string(i) + "/b", Pattern(1000, i));
    }
    std::atomic<bool> cancelFlag{false};
    const CancelScope scope(&cancelFlag);
    std::size_t reads = 0, readsAfterCancel = 0;
    prompts.onProgress = [&](const CopyProgress& p) {
        if (!p.scanning) return true;
        EXPECT_EQ(p.currentFile, kReadingDiscFolders);
        EXPECT_EQ(p.filesDone, 0u);
        if (cancelFlag) ++readsAfterCancel;
        if (++reads < 5) return true;
        if (GetParam().byWorkerHandle) cancelFlag = true;
        return GetParam().byWorkerHandle;
    };

    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, CopyOutcome::Cancelled);
    EXPECT_EQ(reads, 5u) << "folders were read after Cancel";
    EXPECT_EQ(readsAfterCancel, 0u);
    ASSERT_FALSE(prompts.progress.empty());
    EXPECT_TRUE(prompts.progress.front().scanning) << "the reading came first";
    // The totals grow with every folder read.
    EXPECT_LT(prompts.progress.front().filesTotal, prompts.progress.back().filesTotal);
    EXPECT_LT(prompts.progress.front().bytesTotal, prompts.progress.back().bytesTotal);
    EXPECT_EQ(FilesCopied(), 0u);
    EXPECT_TRUE(prompts.failures.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ScanCancel,
                         ::testing::Values(CancelCase{"ProgressWindowCancel", false},
                                           CancelCase{"WorkerHandle", true}),
                         [](const auto& info) { return std::string(info.param.title); });

TEST_F(CopyScan, OnceReadTheTotalsStandAndTheCopyReportsNoReading) {
    MakeFolder(source + "/a/b");
    WriteFile(source + "/a/one", Pattern(10, 1));
    WriteFile(source + "/a/b/two", Pattern(20, 2));
    EXPECT_EQ(CopyAll().outcome, CopyOutcome::Completed);
    bool copying = false;
    for (const CopyProgress& p : prompts.progress) {
        if (!p.scanning) copying = true;
        EXPECT_FALSE(copying && p.scanning) << "reading again in the middle of the copy";
        if (copying) {
            EXPECT_EQ(p.filesTotal, 2u);
            EXPECT_EQ(p.bytesTotal, 30u);
        }
    }
    EXPECT_TRUE(copying);
}

TEST_F(CopyScan, TooManyEntriesEndTheCopyWithAClearErrorBeforeAnythingIsWritten) {
    for (int i = 0; i < 30; ++i) {
        MakeFolder(source + "/f" + std::to_string(i));
        for (int k = 0; k < 5; ++k) {
            WriteFile(source + "/f" + std::to_string(i) + "/" + std::to_string(k), "x");
        }
    }
    struct Case {
        std::vector<ErrorDecision> answers;
        CopyOutcome outcome;
    };
    const Case cases[] = {{{ErrorDecision::Skip}, CopyOutcome::Failed},
                          {{ErrorDecision::Retry, ErrorDecision::Skip}, CopyOutcome::Failed},
                          {{ErrorDecision::Cancel}, CopyOutcome::Cancelled}};
    for (const Case& c : cases) {
        prompts.failures.clear();
        prompts.errorAnswers.assign(c.answers.begin(), c.answers.end());
        ScanLimits limits;
        limits.maxEntries = 100;  // the disc holds 180

        const TreeCopier::Result result = CopyAll(limits);

        EXPECT_EQ(result.outcome, c.outcome);
        ASSERT_EQ(prompts.failures.size(), c.answers.size());
        EXPECT_EQ(prompts.failures[0].path, source);
        EXPECT_NE(prompts.failures[0].text.find("more than 100 files and folders"),
                  std::string::npos)
            << prompts.failures[0].text;
        EXPECT_EQ(FilesCopied(), 0u);
    }
}

// One folder over the limit is refused as it is read: a folder of millions of entries is never
// held whole.
TEST_F(CopyScan, AFolderOverTheLimitIsRefusedBeforeItIsHeldWhole) {
    MakeFolder(source + "/wide");
    for (int k = 0; k < 1000; ++k) WriteFile(source + "/wide/" + std::to_string(k), "x");
    const UniqueFd root(::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(root);
    struct stat st {};
    ASSERT_EQ(::fstat(root.Get(), &st), 0);
    FolderChain chain(root.Get(), IdOf(st));
    CopyOperation operation(io, prompts);
    ScanLimits limits;
    limits.maxEntries = 100;
    SourceScan scan(operation, limits);
    SourceNode disc;
    disc.folder = true;

    EXPECT_EQ(scan.Scan(chain, disc), SourceScan::Outcome::TooManyEntries);
    ASSERT_EQ(disc.children.size(), 1u);
    EXPECT_LE(SizeOf(disc).entries, 100u);
}

TEST_F(CopyScan, RetryNeverLiftsTheDepthLimit) {
    // One file at each of 260 levels; 256 levels are allowed.
    for (int level = 1; level <= 260; ++level) {
        MakeFolder(source + Chain(level));
        WriteFile(source + Chain(level) + "/f", std::to_string(level));
    }
    prompts.errorAnswers = {ErrorDecision::Retry, ErrorDecision::Retry, ErrorDecision::Skip};

    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, CopyOutcome::Failed);
    ASSERT_EQ(prompts.failures.size(), 3u);
    for (const CopyFailure& failure : prompts.failures) {
        EXPECT_EQ(failure.path, Chain(257).substr(1)) << "asked about another folder";
        EXPECT_NE(failure.text.find("more than 256 folders deep"), std::string::npos)
            << failure.text;
    }
    EXPECT_EQ(FilesCopied(), 256u);
    EXPECT_EQ(ReadFile(target + Chain(256) + "/f"), "256");
}

// A folder of the disc that is one of its own parents, as a broken or hostile disc's folder
// records can make it: here a bind mount of an ancestor, in a mount namespace of the child's.
TEST_F(CopyScan, AFolderLeadingBackIntoItsParentsIsAnErrorForThatFolderAlone) {
    MakeFolder(source + "/a/b/back");
    MakeFolder(source + "/a/b/ok");
    MakeFolder(source + "/x/again-y");
    MakeFolder(source + "/y");
    WriteFile(source + "/a/one", "1");
    WriteFile(source + "/a/b/two", "2");
    WriteFile(source + "/a/b/ok/three", "3");
    WriteFile(source + "/y/four", "4");

    const ChildResult child = RunInChild([&](std::string& message) {
        if (!OwnMountNamespace(message)) return kChildCannot;
        // a/b/back is a again: a loop. x/again-y is y a second time: a repeat, not a loop.
        if (::mount((source + "/a").c_str(), (source + "/a/b/back").c_str(), nullptr, MS_BIND,
                    nullptr) != 0 ||
            ::mount((source + "/y").c_str(), (source + "/x/again-y").c_str(), nullptr, MS_BIND,
                    nullptr) != 0) {
            message = "bind mounts refused";
            return kChildCannot;
        }
        prompts.errorDefault = ErrorDecision::Skip;
        const TreeCopier::Result result = CopyAll();
        for (const CopyFailure& failure : prompts.failures) {
            message += failure.path + "|" + std::to_string(failure.errorNumber) + "|" +
                       failure.text + "\n";
        }
        return result.outcome == CopyOutcome::Failed ? 0 : 1;
    });
    if (child.status == kChildCannot) GTEST_SKIP() << "no bind mounts here: " << child.message;

    EXPECT_EQ(child.status, 0) << "the copy did not end as failed";
    const std::string expected = "a/b/back|" + std::to_string(ELOOP) + "|";
    EXPECT_EQ(child.message.rfind(expected, 0), 0u) << child.message;
    EXPECT_EQ(child.message.find('\n'), child.message.size() - 1) << "one failure only";
    EXPECT_NE(child.message.find("leads back into a folder that contains it"), std::string::npos)
        << child.message;
    const std::map<std::string, std::string> expectedTree = {
        {"a", "D"},         {"a/one", "F:1"},   {"a/b", "D"},
        {"a/b/two", "F:2"}, {"a/b/ok", "D"},    {"a/b/ok/three", "F:3"},
        {"x", "D"},         {"x/again-y", "D"}, {"x/again-y/four", "F:4"},
        {"y", "D"},         {"y/four", "F:4"}};
    EXPECT_EQ(Snapshot(target), expectedTree);
}

}  // namespace
}  // namespace dravolin::lnx::test

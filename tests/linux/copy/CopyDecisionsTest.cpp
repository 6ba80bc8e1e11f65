// The copy engine's questions: replace decisions for existing files, and what each answer does.
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {
namespace {

struct ReplaceCase {
    const char* title;
    std::vector<ReplaceDecision> answers;
    std::size_t questions;  // how many were asked
    std::string expected;   // per file a..d: N (new) or O (old) or - (absent)
    CopyOutcome outcome;
    // A file of a..d that is not in the target when the copy looks, and is made there (by
    // another copy into the same folder) after the disc's file was written, before its rename.
    const char* late = nullptr;
};

class ReplaceDecisions : public ::testing::TestWithParam<ReplaceCase> {};

// The disc holds a..d and e (new); the target holds old versions of a..d.
TEST_P(ReplaceDecisions, EachAnswerActsOnTheRightFiles) {
    const ReplaceCase& c = GetParam();
    TempFolder temp;
    const std::string source = temp / "disc", target = temp / "target";
    MakeFolder(source);
    MakeFolder(target);
    for (const char* name : {"a", "b", "c", "d"}) {
        WriteFile(source + "/" + name, std::string("new ") + name);
        if (c.late == nullptr || std::string(name) != c.late) {
            WriteFile(target + "/" + name, std::string("old ") + name);
        }
    }
    WriteFile(source + "/e", "new e");
    FaultyIo io;
    ScriptedPrompts prompts;
    prompts.onProgress = [&](const CopyProgress& p) {
        // The files wait to be renamed until the copy ends: "e" starts after all were written.
        const std::string late = c.late == nullptr ? "" : target + "/" + c.late;
        if (!late.empty() && p.currentFile == "e" && ::access(late.c_str(), F_OK) != 0) {
            WriteFile(late, std::string("old ") + c.late);
        }
        return true;
    };
    prompts.replaceAnswers.assign(c.answers.begin(), c.answers.end());
    prompts.replaceDefault = ReplaceDecision::Cancel;  // more questions than scripted: a fault

    TreeCopier copier(io, prompts);
    const TreeCopier::Result result = copier.Copy(source, target);

    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(prompts.replaceQuestions.size(), c.questions);
    std::string seen;
    const std::map<std::string, std::string> files = Snapshot(target);
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        const auto it = files.find(name);
        seen += it == files.end() ? '-' : it->second.substr(2, 3) == "new" ? 'N' : 'O';
    }
    EXPECT_EQ(seen, c.expected);
    EXPECT_TRUE(TempLeftovers(target).empty());
    ASSERT_FALSE(prompts.replaceQuestions.empty());
    EXPECT_EQ(prompts.replaceQuestions[0].relativePath, "a");
    EXPECT_EQ(prompts.replaceQuestions[0].targetPath, target + "/a");
    EXPECT_EQ(prompts.replaceQuestions[0].existingSize, 5u);
}

using R = ReplaceDecision;
INSTANTIATE_TEST_SUITE_P(
    Table, ReplaceDecisions,
    ::testing::Values(
        ReplaceCase{"OneByOne",
                    {R::Replace, R::Skip, R::Replace, R::Skip},
                    4,
                    "NONON",
                    CopyOutcome::Completed},
        ReplaceCase{"ReplaceAll", {R::Skip, R::ReplaceAll}, 2, "ONNNN", CopyOutcome::Completed},
        ReplaceCase{"SkipAll", {R::Replace, R::SkipAll}, 2, "NOOON", CopyOutcome::Completed},
        ReplaceCase{"Cancel", {R::Replace, R::Cancel}, 2, "NOOO-", CopyOutcome::Cancelled},
        // Asked when the rename meets it; No keeps the other copy's file.
        ReplaceCase{"AppearsWhileCopying",
                    {R::Replace, R::Skip, R::Replace, R::Skip},
                    4,
                    "NONON",
                    CopyOutcome::Completed,
                    "d"}),
    [](const auto& info) { return std::string(info.param.title); });

class CopyErrors : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeFolder(source);
        WriteFile(source + "/1-before", Pattern(10000, 1));
        WriteFile(source + "/2-bad.bin", Pattern(3 << 20, 2));
        WriteFile(source + "/3-after", Pattern(20000, 3));
    }
    TreeCopier::Result CopyAll() {
        TreeCopier copier(io, prompts);
        return copier.Copy(source, target);
    }

    TempFolder temp;
    std::string source = temp / "disc";
    std::string target = temp / "target";
    FaultyIo io;
    ScriptedPrompts prompts;
};

TEST_F(CopyErrors, AReadErrorSkippedLeavesNoTraceOfTheFile) {
    io.failReadsOf = "2-bad.bin";
    io.readFailures = -1;
    prompts.errorAnswers = {ErrorDecision::Skip};

    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, CopyOutcome::Failed);
    ASSERT_EQ(prompts.failures.size(), 1u);
    EXPECT_EQ(prompts.failures[0].errorNumber, EIO);
    EXPECT_EQ(prompts.failures[0].path, "2-bad.bin");
    const auto files = Snapshot(target);
    EXPECT_EQ(files.count("2-bad.bin"), 0u);
    EXPECT_EQ(files.at("1-before"), "F:" + Pattern(10000, 1));
    EXPECT_EQ(files.at("3-after"), "F:" + Pattern(20000, 3));
    EXPECT_TRUE(TempLeftovers(target).empty());
}

TEST_F(CopyErrors, RetryAfterAReadErrorCopiesTheWholeFile) {
    io.noKernelCopy = true;
    io.failReadsOf = "2-bad.bin";
    io.readFailures = 1;
    prompts.errorAnswers = {ErrorDecision::Retry};

    EXPECT_EQ(CopyAll().outcome, CopyOutcome::Completed);
    EXPECT_EQ(prompts.failures.size(), 1u);
    EXPECT_TRUE(Snapshot(target) == Snapshot(source));
    EXPECT_EQ(prompts.progress.back().bytesDone, prompts.progress.back().bytesTotal);
}

using E = ErrorDecision;

struct ChangeCase {
    const char* title;
    bool kernel;    // copy_file_range, else 1 MiB buffers
    bool sparse;    // the file holds a hole between two data blocks
    off_t newSize;  // of the source, once its first block is copied
    ErrorDecision answer;
    CopyOutcome outcome;
};

class ChangingSource : public CopyErrors, public ::testing::WithParamInterface<ChangeCase> {};

// A file that shrinks or grows while it is read is a read error, never a copy put in place
// short or at its old size; Retry reads it as it is then.
TEST_P(ChangingSource, IsAskedAboutAndNeverPutInPlaceShort) {
    const ChangeCase& c = GetParam();
    const std::string changing = source + "/2-bad.bin";
    if (c.sparse) {
        const UniqueFd fd(::open(changing.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        const std::string block = Pattern(1 << 20, 4);
        ASSERT_EQ(::pwrite(fd.Get(), block.data(), block.size(), 0), 1 << 20);
        ASSERT_EQ(::pwrite(fd.Get(), block.data(), block.size(), 2 << 20), 1 << 20);
    }
    io.noKernelCopy = !c.kernel;
    bool changed = false;
    prompts.onProgress = [&](const CopyProgress& p) {
        if (!changed && p.currentFile == "2-bad.bin" && p.bytesDone > 10000) {
            changed = ::truncate(changing.c_str(), c.newSize) == 0;
        }
        return true;
    };
    prompts.errorAnswers = {c.answer};

    const TreeCopier::Result result = CopyAll();

    EXPECT_TRUE(changed);
    EXPECT_EQ(result.outcome, c.outcome);
    ASSERT_EQ(prompts.failures.size(), 1u);
    EXPECT_EQ(prompts.failures[0].path, "2-bad.bin");
    EXPECT_EQ(prompts.failures[0].errorNumber, EIO);
    EXPECT_NE(prompts.failures[0].text.find("changed while it was copied"), std::string::npos);
    const auto files = Snapshot(target);
    if (c.answer == ErrorDecision::Retry) {
        EXPECT_TRUE(files == Snapshot(source));
    } else {
        EXPECT_EQ(files.count("2-bad.bin"), 0u);
        EXPECT_EQ(files.at("3-after"), "F:" + Pattern(20000, 3));
    }
    EXPECT_TRUE(TempLeftovers(target).empty());
}

INSTANTIATE_TEST_SUITE_P(Table, ChangingSource,
                         ::testing::Values(ChangeCase{"Shrinks", false, false, 3 << 19, E::Skip,
                                                      CopyOutcome::Failed},
                                           ChangeCase{"Grows", true, false, (3 << 20) + 100,
                                                      E::Skip, CopyOutcome::Failed},
                                           ChangeCase{"ShrinksAndIsReadAgain", false, false,
                                                      3 << 19, E::Retry, CopyOutcome::Completed},
                                           ChangeCase{"ShrinksPastAHole", false, true, 3 << 19,
                                                      E::Skip, CopyOutcome::Failed}),
                         [](const auto& info) { return std::string(info.param.title); });

TEST_F(CopyErrors, AFullDiskCancelledLeavesNoTruncatedFile) {
    for (bool kernel : {true, false}) {
        SCOPED_TRACE(kernel ? "copy_file_range" : "buffers");
        io.noKernelCopy = !kernel;
        io.writeLimit = 1 << 20;  // the 3 MiB file does not fit
        prompts.failures.clear();
        prompts.errorAnswers = {ErrorDecision::Cancel};

        const TreeCopier::Result result = CopyAll();

        EXPECT_EQ(result.outcome, CopyOutcome::Cancelled);
        ASSERT_EQ(prompts.failures.size(), 1u);
        EXPECT_EQ(prompts.failures[0].errorNumber, ENOSPC);
        EXPECT_EQ(prompts.failures[0].path, target + "/2-bad.bin");
        const auto files = Snapshot(target);
        EXPECT_EQ(files.count("2-bad.bin"), 0u);
        EXPECT_EQ(files.count("3-after"), 0u);
        EXPECT_EQ(files.at("1-before"), "F:" + Pattern(10000, 1));  // complete before the error
        EXPECT_TRUE(TempLeftovers(target).empty());
    }
}

TEST_F(CopyErrors, AFailedFlushKeepsTheFileFromItsRealName) {
    io.syncFailures = 2;  // the batch's flush, then the first file's own
    prompts.errorAnswers = {ErrorDecision::Skip};
    EXPECT_EQ(CopyAll().outcome, CopyOutcome::Failed);
    ASSERT_EQ(prompts.failures.size(), 1u);
    EXPECT_EQ(prompts.failures[0].path, target + "/1-before");
    EXPECT_EQ(Snapshot(target).size(), 2u);
    EXPECT_EQ(Snapshot(target).count("1-before"), 0u);
    EXPECT_TRUE(TempLeftovers(target).empty());
}

struct FinalFlushCase {
    const char* title;
    int failures;  // of the flush after the last rename
    std::vector<ErrorDecision> answers;
    CopyOutcome outcome;
};

class FinalFlush : public CopyErrors, public ::testing::WithParamInterface<FinalFlushCase> {};

// The files are in place, but the flush that makes their names last failed: the disk may lose
// them. The user is asked as for any error, and the copy never says it completed, even when a
// retry succeeds: the kernel reports a lost write once.
TEST_P(FinalFlush, AFailedLastFlushIsAFailedCopy) {
    const FinalFlushCase& c = GetParam();
    io.syncFsPasses = 1;  // the batch's own flush, before the renames
    io.syncFsFailures = c.failures;
    prompts.errorAnswers.assign(c.answers.begin(), c.answers.end());

    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, c.outcome);
    ASSERT_EQ(prompts.failures.size(), c.answers.size());
    for (const CopyFailure& failure : prompts.failures) {
        EXPECT_EQ(failure.path, target);
        EXPECT_EQ(failure.errorNumber, EIO);
    }
    EXPECT_TRUE(Snapshot(target) == Snapshot(source));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FinalFlush,
    ::testing::Values(FinalFlushCase{"Skip", 1, {E::Skip}, CopyOutcome::Failed},
                      FinalFlushCase{"RetrySucceeds", 1, {E::Retry}, CopyOutcome::Failed},
                      FinalFlushCase{
                          "RetryFailsAgain", 2, {E::Retry, E::Skip}, CopyOutcome::Failed},
                      FinalFlushCase{"Cancel", 1, {E::Cancel}, CopyOutcome::Cancelled}),
    [](const auto& info) { return std::string(info.param.title); });

TEST_F(CopyErrors, AFolderWhereAFileShouldGoIsAskedAboutAndKept) {
    MakeFolder(target + "/3-after/inside");
    prompts.errorAnswers = {ErrorDecision::Skip};
    CopyAll();
    ASSERT_EQ(prompts.failures.size(), 1u);
    EXPECT_EQ(prompts.failures[0].errorNumber, EISDIR);
    EXPECT_EQ(Snapshot(target).at("3-after/inside"), "D");
}

TEST_F(CopyErrors, CancelInTheMiddleOfAFileRemovesIt) {
    // After the first block of the big file, the progress window's Cancel is pressed.
    io.noKernelCopy = true;  // 1 MiB blocks
    prompts.onProgress = [](const CopyProgress& p) {
        return !(p.currentFile == "2-bad.bin" && p.bytesDone > 10000);
    };
    const TreeCopier::Result result = CopyAll();

    EXPECT_EQ(result.outcome, CopyOutcome::Cancelled);
    const auto files = Snapshot(target);
    EXPECT_EQ(files.count("2-bad.bin"), 0u);
    EXPECT_EQ(files.count("3-after"), 0u);
    EXPECT_EQ(files.at("1-before"), "F:" + Pattern(10000, 1));
    EXPECT_TRUE(TempLeftovers(target).empty());
    EXPECT_TRUE(prompts.failures.empty());
}

}  // namespace
}  // namespace dravolin::lnx::test

// Temporary files: each names its writer and holds its lock while it is written, and what a
// killed copy left behind goes the next time a copy writes into that folder, while the files
// of copies still at work stay.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <set>
#include "ChildProcess.h"
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/io/FileLocks.h"
#include "platform/linux/copy/TempFiles.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/io/UniqueFd.h"

namespace dravolin::lnx::test {
namespace {

// The owner of a process that has ended: a child that wrote nothing and is gone.
TempOwner GoneProcess() {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const TempOwner owner = ThisProcess();
        const ssize_t n = ::write(pipeFds[1], &owner, sizeof owner);
        ::_exit(n == sizeof owner ? 0 : 1);
    }
    ::close(pipeFds[1]);
    TempOwner owner;
    const ssize_t n = pid > 0 ? ::read(pipeFds[0], &owner, sizeof owner) : -1;
    ::close(pipeFds[0]);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    return n == sizeof owner ? owner : TempOwner{};
}

// Another instance of the program, alive for as long as the object lives: a child process that
// names a temporary file of its own, then waits.
class LiveInstance {
  public:
    LiveInstance() {
        int toParent[2];
        if (::pipe(toParent) != 0 || ::pipe(release_) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toParent[0]);
            ::close(release_[1]);
            const std::string name = TempName(ThisProcess(), 42);
            const ssize_t n = ::write(toParent[1], name.data(), name.size());
            ::close(toParent[1]);
            char byte;
            while (::read(release_[0], &byte, 1) > 0) {
            }
            ::_exit(n > 0 ? 0 : 1);
        }
        ::close(toParent[1]);
        ::close(release_[0]);
        char buffer[256];
        const ssize_t n = ::read(toParent[0], buffer, sizeof buffer);
        ::close(toParent[0]);
        if (n > 0) tempName_.assign(buffer, static_cast<std::size_t>(n));
    }
    ~LiveInstance() {
        ::close(release_[1]);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    const std::string& TempNameOfIts() const { return tempName_; }

  private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
    std::string tempName_;
};

TEST(TempNames, CarryTheirOwnerAndNothingElseReadsAsOne) {
    const TempOwner self = ThisProcess();
    EXPECT_EQ(self.pid, static_cast<std::uint64_t>(::getpid()));
    EXPECT_NE(self.boot, 0u);
    EXPECT_NE(self.startTime, 0u);
    const std::string name = TempName(self, 0xfeedbeef);
    EXPECT_EQ(name.rfind(".dravolin-", 0), 0u) << name;
    EXPECT_EQ(OwnerOfTemp(name), self);
    EXPECT_NE(TempName(self, 1), TempName(self, 2));
    for (const std::string& other : std::vector<std::string>{
             ".dravolin-0123456789abcdef.part", ".dravolin-.part", "dravolin-x.part", name + "x",
             name.substr(1), name.substr(0, name.size() - 5), "." + name}) {
        EXPECT_EQ(OwnerOfTemp(other), std::nullopt) << other;
    }
}

TEST(TempNames, OnlyOwnersThatAreSurelyGoneAreGone) {
    const TempOwner self = ThisProcess();
    const TempOwner gone = GoneProcess();
    ASSERT_NE(gone.pid, 0u);
    TempOwner reused = self;  // this pid, but another process that ran before
    reused.startTime -= 1;
    TempOwner earlierBoot = self;
    earlierBoot.boot ^= 1;
    TempOwner otherMachine = gone;
    otherMachine.machine ^= 1;
    TempOwner otherNamespace = gone;
    otherNamespace.pidNamespace ^= 1;
    TempOwner unknownStart = self;
    unknownStart.startTime = 0;

    EXPECT_TRUE(MayBeAlive(self, self));
    EXPECT_FALSE(MayBeAlive(gone, self));
    EXPECT_FALSE(MayBeAlive(reused, self));
    EXPECT_FALSE(MayBeAlive(earlierBoot, self));
    EXPECT_TRUE(MayBeAlive(otherMachine, self));
    EXPECT_TRUE(MayBeAlive(otherNamespace, self));
    EXPECT_TRUE(MayBeAlive(unknownStart, self));
}

class StaleTemps : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeFolder(source + "/kept");
        WriteFile(source + "/kept/file", "from the disc");
        WriteFile(source + "/top", "top");
        MakeFolder(target + "/kept");
        MakeFolder(target + "/not-on-the-disc");
    }
    std::string Temp(const TempOwner& owner, std::uint64_t random) {
        return TempName(owner, random);
    }

    TempFolder temp;
    std::string source = temp / "disc";
    std::string target = temp / "target";
    FaultyIo io;
    ScriptedPrompts prompts;
};

TEST_F(StaleTemps, WhatAKilledCopyLeftGoesWhatALiveCopyWritesStays) {
    const TempOwner self = ThisProcess();
    const TempOwner gone = GoneProcess();
    ASSERT_NE(gone.pid, 0u);
    TempOwner reused = self;
    reused.startTime += 7;
    TempOwner earlierBoot = gone;
    earlierBoot.boot ^= 0x10;
    TempOwner otherMachine = gone;
    otherMachine.machine ^= 0x10;
    const LiveInstance other;
    ASSERT_FALSE(other.TempNameOfIts().empty());

    const std::set<std::string> stale = {"/" + Temp(gone, 1), "/" + Temp(reused, 2),
                                         "/kept/" + Temp(earlierBoot, 3), "/kept/" + Temp(gone, 4)};
    // Names whose owner looks gone, but whose writer still holds the file's lock: a machine
    // cloned from this one's image (its boot differs), a writer in another time namespace (its
    // start time reads differently here).
    const std::set<std::string> locked = {"/" + Temp(earlierBoot, 10), "/kept/" + Temp(reused, 11)};
    // A file of another user is never this copy's to remove.
    const std::string othersUsers = "/" + Temp(gone, 12);
    const std::set<std::string> alive = {"/" + Temp(self, 5),  // another drive of this process
                                         "/" + other.TempNameOfIts(),
                                         "/kept/" + Temp(otherMachine, 6),
                                         "/.dravolin-0123456789abcdef.part",
                                         "/.dravolin-garbage.part",
                                         "/not-on-the-disc/" + Temp(gone, 7),
                                         othersUsers};
    for (const std::string& name : stale) WriteFile(target + name, "partial");
    for (const std::string& name : alive) WriteFile(target + name, "partial");
    std::vector<UniqueFd> writers;
    for (const std::string& name : locked) {
        WriteFile(target + name, "partial");
        writers.emplace_back(::open((target + name).c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_TRUE(HoldWriteLock(writers.back().Get())) << name;
    }
    ASSERT_EQ(::chown((target + othersUsers).c_str(), 65534, 65534), 0);
    // Only regular files are ever removed.
    const std::string folderLikeATemp = "/" + Temp(gone, 8);
    const std::string linkLikeATemp = "/kept/" + Temp(gone, 9);
    MakeFolder(target + folderLikeATemp);
    ASSERT_EQ(::symlink("top", (target + linkLikeATemp).c_str()), 0);

    TreeCopier copier(io, prompts);
    EXPECT_EQ(copier.Copy(source, target).outcome, CopyOutcome::Completed);

    for (const std::string& name : stale) {
        EXPECT_NE(::access((target + name).c_str(), F_OK), 0) << name << " is still there";
    }
    for (const auto* kept : {&alive, &locked}) {
        for (const std::string& name : *kept) {
            EXPECT_EQ(ReadFile(target + name), "partial") << name;
        }
    }
    struct stat st {};
    EXPECT_EQ(::lstat((target + folderLikeATemp).c_str(), &st), 0);
    EXPECT_EQ(::lstat((target + linkLikeATemp).c_str(), &st), 0);
    EXPECT_EQ(ReadFile(target + "/kept/file"), "from the disc");
}

TEST_F(StaleTemps, TheCopysOwnTempFilesNameThisProcess) {
    WriteFile(source + "/big", Pattern(3 << 20, 1));
    io.noKernelCopy = true;  // 1 MiB blocks: the file is seen half written
    std::vector<std::string> seen;
    prompts.onProgress = [&](const CopyProgress& p) {
        if (p.currentFile == "big" && p.bytesDone > 0 && seen.empty()) {
            for (const std::string& path : TempLeftovers(target)) {
                seen.push_back(path.substr(path.rfind('/') + 1));
            }
        }
        return true;
    };
    TreeCopier copier(io, prompts);
    EXPECT_EQ(copier.Copy(source, target).outcome, CopyOutcome::Completed);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(OwnerOfTemp(seen[0]), ThisProcess()) << seen[0];
}

// A clone of this machine cleans the folder while this copy writes one file and has another
// waiting for its flush: the names say their owner ran on an earlier boot, the locks say it
// is at work, and the locks win.
TEST_F(StaleTemps, ACloneCleaningTheFolderLeavesALiveCopysFilesAlone) {
    const std::string big = Pattern(3 << 20, 1);
    WriteFile(source + "/z-big", big);  // copied last, after "kept/file" and "top"
    io.noKernelCopy = true;             // 1 MiB blocks: the big file is seen half written
    TempOwner clone = ThisProcess();
    clone.boot ^= 1;
    std::size_t seen = 0;
    prompts.onProgress = [&](const CopyProgress& p) {
        if (p.currentFile == "z-big" && p.bytesDone >= 1u << 20 && seen == 0) {
            seen = TempLeftovers(target).size();
            const UniqueFd folder(::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            const UniqueFd kept(
                ::open((target + "/kept").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            RemoveStaleTemps(folder.Get(), clone);
            RemoveStaleTemps(kept.Get(), clone);
        }
        return true;
    };
    TreeCopier copier(io, prompts);
    EXPECT_EQ(copier.Copy(source, target).outcome, CopyOutcome::Completed);
    EXPECT_EQ(seen, 3u);  // the big file, and two files waiting for their flush
    EXPECT_TRUE(prompts.failures.empty());
    EXPECT_EQ(ReadFile(target + "/z-big"), big);
    EXPECT_EQ(ReadFile(target + "/top"), "top");
    EXPECT_EQ(ReadFile(target + "/kept/file"), "from the disc");
}

// A disc's own file named like a temporary file of a copy that died is refused at the scan
// like any name the target cannot hold: copied, the next copy into the folder would remove it.
TEST_F(StaleTemps, ADiscFileNamedLikeATempIsRefusedAndCounted) {
    TempOwner earlierBoot = ThisProcess();
    earlierBoot.boot ^= 1;
    const std::string named = Temp(earlierBoot, 1);
    WriteFile(source + "/kept/" + named, "the disc's own");
    TreeCopier copier(io, prompts);
    const TreeCopier::Result result = copier.Copy(source, target);
    EXPECT_EQ(result.outcome, CopyOutcome::Completed);
    EXPECT_EQ(result.summary, "Not copied: 1 entries with unusable names.");
    EXPECT_NE(::access((target + "/kept/" + named).c_str(), F_OK), 0);
    EXPECT_EQ(ReadFile(target + "/kept/file"), "from the disc");
}

}  // namespace
}  // namespace dravolin::lnx::test

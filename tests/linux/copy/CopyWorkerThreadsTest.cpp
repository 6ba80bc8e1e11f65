// The copy engine on worker threads: cancelled through the worker's handle, and two copies
// writing into one folder at once.
#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include "CopyTestSupport.h"
#include "LinuxTestSupport.h"
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/threads/LinuxThreads.h"
#include "platform/linux/copy/TreeCopier.h"

namespace dravolin::lnx::test {
namespace {

using namespace std::chrono_literals;

// Set once by one thread, awaited with a deadline by another.
class Signal {
  public:
    void Set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    bool Wait(std::chrono::seconds limit = 30s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return set_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

bool WaitUntilEnded(WorkerThread& worker) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!worker.HasEnded()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(CopyThreads, TerminateCancelsTheCopyBetweenBlocks) {
    TempFolder temp;
    const std::string source = temp / "disc", target = temp / "target";
    MakeFolder(source);
    WriteFile(source + "/big", Pattern(6 << 20, 1));
    WriteFile(source + "/later", "later");
    FaultyIo io;
    io.noKernelCopy = true;  // 1 MiB blocks
    ScriptedPrompts prompts;
    Signal blockDone, terminated;
    prompts.onProgress = [&](const CopyProgress& p) {
        if (p.bytesDone > 0) {
            blockDone.Set();
            terminated.Wait();  // the copy goes on only once the handle has asked it to stop
        }
        return true;
    };
    TreeCopier::Result result;
    LinuxThreads threads;
    std::unique_ptr<WorkerThread> worker = threads.Create([&] {
        TreeCopier copier(io, prompts);
        result = copier.Copy(source, target);
        return 0u;
    });
    ASSERT_TRUE(worker);
    ASSERT_TRUE(blockDone.Wait());
    EXPECT_FALSE(worker->HasEnded());
    worker->Terminate(1);
    terminated.Set();
    ASSERT_TRUE(WaitUntilEnded(*worker));

    EXPECT_EQ(result.outcome, CopyOutcome::Cancelled);
    EXPECT_TRUE(Snapshot(target).empty());
    EXPECT_TRUE(TempLeftovers(target).empty());
    EXPECT_TRUE(threads.WaitForAll(std::chrono::steady_clock::now() + 30s));
}

// Two discs copied into one folder by two workers at the same time.
class TwoCopies : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int disc = 0; disc < 2; ++disc) {
            const std::string root = temp / ("disc" + std::to_string(disc));
            MakeFolder(root + "/shared/deeper");
            for (int i = 0; i < 150; ++i) {
                const std::string own = "d" + std::to_string(disc) + "-" + std::to_string(i);
                WriteFile(root + "/shared/" + own, Pattern(1000 + i * 97, disc * 1000 + i));
                WriteFile(root + "/shared/deeper/same" + std::to_string(i),
                          Pattern(5000 + i, disc * 7000 + i));
            }
            WriteFile(root + "/big", Pattern((2 << 20) + disc, disc));
        }
    }
    void RunBoth() {
        FaultyIo io[2];
        ScriptedPrompts prompts[2];
        std::thread workers[2];
        for (int disc = 0; disc < 2; ++disc) {
            prompts[disc].replaceDefault = ReplaceDecision::ReplaceAll;
            workers[disc] = std::thread([&, disc] {
                TreeCopier copier(io[disc], prompts[disc]);
                outcomes[disc] =
                    copier.Copy(temp / ("disc" + std::to_string(disc)), target).outcome;
            });
        }
        for (std::thread& worker : workers) worker.join();
    }

    TempFolder temp;
    std::string target = temp / "target";
    CopyOutcome outcomes[2] = {CopyOutcome::Failed, CopyOutcome::Failed};
};

TEST_F(TwoCopies, EveryFileIsWholeAndFromOneDisc) {
    RunBoth();
    EXPECT_EQ(outcomes[0], CopyOutcome::Completed);
    EXPECT_EQ(outcomes[1], CopyOutcome::Completed);
    const auto files = Snapshot(target);
    const auto disc0 = Snapshot(temp / "disc0");
    const auto disc1 = Snapshot(temp / "disc1");
    for (const auto* disc : {&disc0, &disc1}) {
        for (const auto& [path, content] : *disc) {
            ASSERT_EQ(files.count(path), 1u) << path;
            const bool ownFile =
                path.find("/d0-") != std::string::npos || path.find("/d1-") != std::string::npos;
            if (ownFile) {
                EXPECT_TRUE(files.at(path) == content) << path;
            }
        }
    }
    for (const auto& [path, content] : files) {
        const bool fromOne = (disc0.count(path) && disc0.at(path) == content) ||
                             (disc1.count(path) && disc1.at(path) == content);
        EXPECT_TRUE(fromOne) << path << " is a mix or a fragment";
    }
    EXPECT_EQ(files.size(), disc0.size() + 150);
    EXPECT_TRUE(TempLeftovers(target).empty());
}

}  // namespace
}  // namespace dravolin::lnx::test

#pragma once
// Scripted prompts and a fault-injecting I/O seam for the copy engine tests.
#include <atomic>
#include <cerrno>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <sys/resource.h>
#include "platform/linux/copy/ArchiveRecord.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::lnx::test {

// Answers from queues (then a default), and remembers everything it was told.
class ScriptedPrompts : public CopyPrompts {
  public:
    std::deque<ReplaceDecision> replaceAnswers;
    ReplaceDecision replaceDefault = ReplaceDecision::Replace;
    std::deque<ErrorDecision> errorAnswers;
    ErrorDecision errorDefault = ErrorDecision::Cancel;
    // Called on every progress report; false cancels.
    std::function<bool(const CopyProgress&)> onProgress;

    std::vector<ReplaceQuestion> replaceQuestions;
    std::vector<CopyFailure> failures;
    std::vector<CopyProgress> progress;
    std::string mountedFolder;
    bool finished = false;
    CopyOutcome outcome = CopyOutcome::Failed;
    std::string summary;

    void OnMounted(const std::string& folder) override { mountedFolder = folder; }
    bool OnProgress(const CopyProgress& p) override {
        progress.push_back(p);
        return onProgress ? onProgress(p) : true;
    }
    ReplaceDecision AskReplace(const ReplaceQuestion& q) override {
        replaceQuestions.push_back(q);
        if (replaceAnswers.empty()) return replaceDefault;
        const ReplaceDecision d = replaceAnswers.front();
        replaceAnswers.pop_front();
        return d;
    }
    ErrorDecision AskError(const CopyFailure& f) override {
        failures.push_back(f);
        if (errorAnswers.empty()) return errorDefault;
        const ErrorDecision d = errorAnswers.front();
        errorAnswers.pop_front();
        return d;
    }
    void OnFinished(CopyOutcome o, const std::string& s) override {
        finished = true;
        outcome = o;
        summary = s;
    }
};

// Hands every call to prompts that outlive the operation, so a test can read them afterwards.
class ForwardingPrompts : public CopyPrompts {
  public:
    explicit ForwardingPrompts(std::shared_ptr<CopyPrompts> target) : target_(std::move(target)) {}
    void OnMounted(const std::string& folder) override { target_->OnMounted(folder); }
    bool OnProgress(const CopyProgress& p) override { return target_->OnProgress(p); }
    ReplaceDecision AskReplace(const ReplaceQuestion& q) override { return target_->AskReplace(q); }
    ErrorDecision AskError(const CopyFailure& f) override { return target_->AskError(f); }
    void OnFinished(CopyOutcome o, const std::string& s) override { target_->OnFinished(o, s); }

  private:
    std::shared_ptr<CopyPrompts> target_;
};

// The real calls, with faults on request. Thread-safe enough for one copy per instance.
class FaultyIo : public CopyIo {
  public:
    bool noKernelCopy = false;         // as on a kernel or file system without copy_file_range
    std::string failReadsOf;           // file name whose reads fail with EIO...
    std::atomic<int> readFailures{0};  // ...this many times (-1: always)
    // Bytes of that file no read gets past, as on a scratched disc: every read that touches one
    // fails with EIO, however often it is tried.
    std::vector<ByteRange> unreadable;
    std::atomic<int> reads{0};                     // every Read call, failed or not
    std::uint64_t writeLimit = ~std::uint64_t{0};  // writes past this offset: ENOSPC
    std::atomic<int> syncFailures{0};              // the next n fdatasyncs or syncfss fail with EIO
    std::atomic<int> syncFsPasses{0};              // this many syncfs calls succeed, then...
    std::atomic<int> syncFsFailures{0};            // ...this many fail with EIO

    ssize_t CopyRange(int in, off_t inOffset, int out, off_t outOffset,
                      std::size_t length) override;
    ssize_t Read(int fd, void* buffer, std::size_t length, off_t offset) override;
    ssize_t Write(int fd, const void* buffer, std::size_t length, off_t offset) override;
    int DataSync(int fd) override;
    int SyncFileSystem(int fd) override;

  private:
    bool ReadFails(int fd);
    bool IsFaultyFile(int fd) const;
    bool SyncFails();
};

std::string PathOfFd(int fd);

// How many descriptors this process has open.
std::size_t OpenDescriptors();

// Sets the soft descriptor limit for as long as it lives (a desktop session gives 1024), and
// puts the old one back.
class ScopedDescriptorLimit {
  public:
    explicit ScopedDescriptorLimit(rlim_t soft);
    ~ScopedDescriptorLimit();
    ScopedDescriptorLimit(const ScopedDescriptorLimit&) = delete;
    ScopedDescriptorLimit& operator=(const ScopedDescriptorLimit&) = delete;
    bool Applied() const { return applied_; }

  private:
    rlimit saved_{};
    bool applied_ = false;
};

}  // namespace dravolin::lnx::test

#include "ReportingPrompts.h"

#include <fstream>
#include <sstream>
#include <utility>

namespace dravolin::vm {

namespace {

using lnx::CopyFailure;
using lnx::CopyOutcome;
using lnx::CopyProgress;
using lnx::ErrorDecision;
using lnx::ReplaceDecision;
using lnx::ReplaceQuestion;

// The file system the disc in `deviceNode` is mounted with, from the mount table; "?" when
// it is not mounted.
std::string FileSystemOf(const std::string& deviceNode) {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, folder, type;
        fields >> device >> folder >> type;
        if (device == deviceNode) return type;
    }
    return "?";
}

class ReportingPrompts : public lnx::CopyPrompts {
  public:
    ReportingPrompts(std::shared_ptr<Console> console, std::shared_ptr<Policy> policy, char letter)
        : console_(std::move(console)),
          policy_(std::move(policy)),
          prefix_(std::string("COPY ") + letter),
          // The drives get their letters from D: upwards in device order.
          deviceNode_(letter >= 'D' ? "/dev/sr" + std::to_string(letter - 'D') : "") {}

    void OnMounted(const std::string&) override {}

    // A line when a file starts, so the host can act in the middle of a given file. The first
    // call comes once the disc is mounted: the host checks which file system was read.
    bool OnProgress(const CopyProgress& progress) override {
        if (!mountReported_) {
            mountReported_ = true;
            console_->Line(prefix_ + " fs " + FileSystemOf(deviceNode_));
        }
        last_ = progress;
        if (!progress.currentFile.empty() && progress.currentFile != currentFile_) {
            currentFile_ = progress.currentFile;
            console_->Line(prefix_ + " file " + currentFile_);
        }
        return true;
    }

    ReplaceDecision AskReplace(const ReplaceQuestion& question) override {
        const ReplaceDecision decision = policy_->OnExists();
        console_->Line("PROMPT exists " + question.relativePath + " -> " + Word(decision));
        return decision;
    }

    ErrorDecision AskError(const CopyFailure& failure) override {
        const ErrorDecision decision = policy_->OnError();
        console_->Line(prefix_ + " error " + failure.path + ": " + failure.text + " -> " +
                       Word(decision));
        return decision;
    }

    // A completed copy gives the disc's totals; any other where it stood when it ended.
    void OnFinished(CopyOutcome outcome, const std::string& summary) override {
        std::string counts;
        if (outcome == CopyOutcome::Completed) {
            counts = " files=" + std::to_string(last_.filesTotal) +
                     " bytes=" + std::to_string(last_.bytesTotal);
        } else {
            counts = " at files=" + std::to_string(last_.filesDone) + "/" +
                     std::to_string(last_.filesTotal) +
                     " bytes=" + std::to_string(last_.bytesDone) + "/" +
                     std::to_string(last_.bytesTotal);
        }
        console_->Line(prefix_ + " done " + Word(outcome) + counts);
        if (!summary.empty()) console_->Line(prefix_ + " summary " + summary);
    }

  private:
    std::shared_ptr<Console> console_;
    std::shared_ptr<Policy> policy_;
    std::string prefix_;
    std::string deviceNode_;
    bool mountReported_ = false;
    std::string currentFile_;
    CopyProgress last_;
};

}  // namespace

// Worker thread.
std::unique_ptr<lnx::CopyPrompts> ReportingPromptsFactory::Begin(WindowHandle,
                                                                 const lnx::CopySource& source,
                                                                 const std::string& target) {
    const char drive = source.letter ? source.letter : '?';
    console_->Line(std::string("COPY ") + drive + " start " + target);
    return std::make_unique<ReportingPrompts>(console_, policy_, drive);
}

}  // namespace dravolin::vm

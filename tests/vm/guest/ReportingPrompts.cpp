#include "ReportingPrompts.h"

#include <utility>
#include "platform/linux/DrivePaths.h"

namespace dravolin::vm {

namespace {

using lnx::CopyFailure;
using lnx::CopyOutcome;
using lnx::CopyProgress;
using lnx::ErrorDecision;
using lnx::ReplaceDecision;
using lnx::ReplaceQuestion;

class ReportingPrompts : public lnx::CopyPrompts {
  public:
    ReportingPrompts(std::shared_ptr<Console> console, std::shared_ptr<Policy> policy,
                     std::string drive)
        : console_(std::move(console)), policy_(std::move(policy)), prefix_("COPY " + drive) {}

    // A line when a file starts, so the host can act in the middle of a given file.
    bool OnProgress(const CopyProgress& progress) override {
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
    std::string currentFile_;
    CopyProgress last_;
};

}  // namespace

// Worker thread.
std::unique_ptr<lnx::CopyPrompts> ReportingPromptsFactory::Begin(WindowHandle,
                                                                 const std::string& source,
                                                                 const std::string& target) {
    const std::optional<char> letter = lnx::LetterOfCopySource(source);
    const std::string drive = letter ? std::string(1, *letter) : std::string("?");
    console_->Line("COPY " + drive + " start " + target);
    return std::make_unique<ReportingPrompts>(console_, policy_, drive);
}

}  // namespace dravolin::vm

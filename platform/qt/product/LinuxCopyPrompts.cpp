#include "platform/qt/product/LinuxCopyPrompts.h"

namespace dravolin::qt {

namespace {

// Runs on the copying worker; everything it shows goes through the session.
class SessionPrompts : public lnx::CopyPrompts {
  public:
    explicit SessionPrompts(std::shared_ptr<CopySession> session) : session_(std::move(session)) {}

    void OnMounted(const std::string& folder) override { session_->SetFolder(folder); }

    bool OnProgress(const lnx::CopyProgress& progress) override {
        return session_->Progress({progress.currentFile, progress.bytesDone, progress.bytesTotal,
                                   progress.filesDone, progress.filesTotal});
    }

    lnx::ReplaceDecision AskReplace(const lnx::ReplaceQuestion& question) override {
        switch (session_->AskReplace({question.targetPath, question.existingSize,
                                      question.existingModified, question.incomingSize,
                                      question.incomingModified})) {
            case ReplaceAnswer::Yes:
                return lnx::ReplaceDecision::Replace;
            case ReplaceAnswer::YesToAll:
                return lnx::ReplaceDecision::ReplaceAll;
            case ReplaceAnswer::No:
                return lnx::ReplaceDecision::Skip;
            case ReplaceAnswer::NoToAll:
                return lnx::ReplaceDecision::SkipAll;
            case ReplaceAnswer::Cancel:
                break;
        }
        return lnx::ReplaceDecision::Cancel;
    }

    lnx::ErrorDecision AskError(const lnx::CopyFailure& failure) override {
        switch (session_->AskError({failure.path, failure.text, failure.mount})) {
            case ErrorAnswer::Retry:
                return lnx::ErrorDecision::Retry;
            case ErrorAnswer::Skip:
                return lnx::ErrorDecision::Skip;
            case ErrorAnswer::Cancel:
                break;
        }
        return lnx::ErrorDecision::Cancel;
    }

    void OnFinished(lnx::CopyOutcome outcome, const std::string& summary) override {
        session_->Finish(outcome == lnx::CopyOutcome::Completed, summary);
    }

  private:
    std::shared_ptr<CopySession> session_;
};

}  // namespace

std::unique_ptr<lnx::CopyPrompts> QtCopyPromptsFactory::Begin(WindowHandle owner,
                                                              const lnx::CopySource& source,
                                                              const std::string& target) {
    return std::make_unique<SessionPrompts>(sessions_->Begin(owner, source.drive, target));
}

}  // namespace dravolin::qt

#pragma once
#include <memory>
#include <string>
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::lnx {

// Prompts without a user: fixed answers, for headless programs and tests.
class PolicyPrompts : public CopyPrompts {
  public:
    PolicyPrompts(ReplaceDecision replace, ErrorDecision error)
        : replace_(replace), error_(error) {}
    void OnMounted(const std::string&) override {}
    bool OnProgress(const CopyProgress&) override { return true; }
    ReplaceDecision AskReplace(const ReplaceQuestion&) override { return replace_; }
    ErrorDecision AskError(const CopyFailure&) override { return error_; }
    void OnFinished(CopyOutcome, const std::string&) override {}

  private:
    ReplaceDecision replace_;
    ErrorDecision error_;
};

class PolicyPromptsFactory : public CopyPromptsFactory {
  public:
    PolicyPromptsFactory(ReplaceDecision replace, ErrorDecision error)
        : replace_(replace), error_(error) {}
    std::unique_ptr<CopyPrompts> Begin(WindowHandle, const CopySource&,
                                       const std::string&) override {
        return std::make_unique<PolicyPrompts>(replace_, error_);
    }

  private:
    ReplaceDecision replace_;
    ErrorDecision error_;
};

}  // namespace dravolin::lnx

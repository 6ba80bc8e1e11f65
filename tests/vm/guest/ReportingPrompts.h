#pragma once
#include <memory>
#include <string>
#include "Console.h"
#include "Policy.h"
#include "platform/linux/copy/CopyPrompts.h"

namespace dravolin::vm {

// The face of every copy in the guest: answers by the policy and prints what happens as
// "COPY <letter> ..." and "PROMPT ..." lines. Worker threads only (one object per copy); the
// factory is shared by all workers.
class ReportingPromptsFactory : public lnx::CopyPromptsFactory {
  public:
    ReportingPromptsFactory(std::shared_ptr<Console> console, std::shared_ptr<Policy> policy)
        : console_(std::move(console)), policy_(std::move(policy)) {}

    std::unique_ptr<lnx::CopyPrompts> Begin(WindowHandle owner, const lnx::CopySource& source,
                                            const std::string& target) override;

  private:
    std::shared_ptr<Console> console_;
    std::shared_ptr<Policy> policy_;
};

}  // namespace dravolin::vm

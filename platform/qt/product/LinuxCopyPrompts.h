#pragma once
#include <memory>
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/qt/CopySession.h"

namespace dravolin::qt {

// The copy engine's face on the desktop: each copy's progress, replace and error questions go
// to the progress window and prompts of the dialog that owns the copy. Thread-safe.
class QtCopyPromptsFactory : public lnx::CopyPromptsFactory {
  public:
    explicit QtCopyPromptsFactory(std::shared_ptr<CopySessions> sessions)
        : sessions_(std::move(sessions)) {}
    std::unique_ptr<lnx::CopyPrompts> Begin(WindowHandle owner, const lnx::CopySource& source,
                                            const std::string& target) override;

  private:
    std::shared_ptr<CopySessions> sessions_;
};

}  // namespace dravolin::qt

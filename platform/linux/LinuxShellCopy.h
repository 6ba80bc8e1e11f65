#pragma once
#include <memory>
#include "platform/ShellCopy.h"
#include "platform/linux/CopyIo.h"
#include "platform/linux/CopyPrompts.h"
#include "platform/linux/DiscMounter.h"
#include "platform/linux/OpticalDrives.h"

namespace dravolin::lnx {

// The shell's copy of "E:\*.*" into a folder: mounts the disc where needed and copies its whole
// tree on the calling worker thread, with the caller's prompts for progress and questions.
class LinuxShellCopy : public ShellCopy {
  public:
    LinuxShellCopy(std::shared_ptr<const OpticalDrives> drives,
                   std::shared_ptr<DiscMounter> mounter,
                   std::shared_ptr<CopyPromptsFactory> prompts,
                   std::shared_ptr<CopyIo> io = std::make_shared<CopyIo>());

    // 0 when everything was copied; ERROR_CANCELLED (1223) when cancelled; another non-zero
    // value when something failed or was skipped after an error. The core ignores it.
    int FileOperation(const Operation& op) override;

    static constexpr int kResultCancelled = 1223;
    static constexpr int kResultFailed = 1627;  // ERROR_FUNCTION_FAILED

  private:
    std::shared_ptr<const OpticalDrives> drives_;
    std::shared_ptr<DiscMounter> mounter_;
    std::shared_ptr<CopyPromptsFactory> prompts_;
    std::shared_ptr<CopyIo> io_;
};

}  // namespace dravolin::lnx

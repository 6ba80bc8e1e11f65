#pragma once
#include <memory>
#include "platform/ShellCopy.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/mount/DiscMounter.h"
#include "platform/linux/drives/DriveStates.h"
#include "platform/linux/drives/OpticalDrives.h"

namespace dravolin::lnx {

// The shell's copy of "E:\*.*" into a folder: mounts the disc where needed and copies its whole
// tree on the calling worker thread, with the caller's prompts for progress and questions. A
// mount made for the copy goes when the copy ends, however it ends.
class LinuxShellCopy : public ShellCopy {
  public:
    // `states`, when given, learns the disc's label and serial before its files are read.
    LinuxShellCopy(std::shared_ptr<const OpticalDrives> drives,
                   std::shared_ptr<DiscMounter> mounter,
                   std::shared_ptr<CopyPromptsFactory> prompts,
                   std::shared_ptr<CopyIo> io = std::make_shared<CopyIo>(),
                   std::shared_ptr<DriveStates> states = nullptr);

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
    std::shared_ptr<DriveStates> states_;
};

}  // namespace dravolin::lnx

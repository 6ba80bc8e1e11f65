#include "platform/linux/LinuxShellCopy.h"

#include <cerrno>
#include <utility>
#include "platform/linux/Cancellation.h"
#include "platform/linux/DrivePaths.h"
#include "platform/linux/TargetPaths.h"
#include "platform/linux/TreeCopier.h"

namespace dravolin::lnx {

namespace {

int ResultOf(CopyOutcome outcome) {
    switch (outcome) {
        case CopyOutcome::Completed:
            return 0;
        case CopyOutcome::Cancelled:
            return LinuxShellCopy::kResultCancelled;
        case CopyOutcome::Failed:
            break;
    }
    return LinuxShellCopy::kResultFailed;
}

}  // namespace

LinuxShellCopy::LinuxShellCopy(std::shared_ptr<const OpticalDrives> drives,
                               std::shared_ptr<DiscMounter> mounter,
                               std::shared_ptr<CopyPromptsFactory> prompts,
                               std::shared_ptr<CopyIo> io)
    : drives_(std::move(drives)),
      mounter_(std::move(mounter)),
      prompts_(std::move(prompts)),
      io_(std::move(io)) {}

// Worker thread.
int LinuxShellCopy::FileOperation(const Operation& op) {
    const std::string_view from = FirstOfPathList(op.from);
    const std::string target = FolderOfTarget(FirstOfPathList(op.to));
    std::unique_ptr<CopyPrompts> prompts = prompts_->Begin(op.owner, std::string(from), target);

    const std::optional<char> letter = LetterOfCopySource(from);
    const OpticalDrive* drive = letter ? drives_->Find(*letter) : nullptr;
    if (op.function != win::kFoCopy || !drive || target.empty()) {
        prompts->OnFinished(CopyOutcome::Failed, "Nothing to copy: the source is not a disc.");
        return kResultFailed;
    }

    DiscMounter::Mounted mounted;
    for (;;) {
        mounted = mounter_->EnsureMounted(*drive);
        if (mounted.ok) break;
        CopyFailure failure{drive->deviceNode, ENOMEDIUM, mounted.error};
        if (CancelRequested() || prompts->AskError(failure) != ErrorDecision::Retry) {
            prompts->OnFinished(CopyOutcome::Failed, mounted.error);
            return kResultFailed;
        }
    }

    TreeCopier copier(*io_, *prompts);
    const TreeCopier::Result result = copier.Copy(mounted.mountPoint, target);
    prompts->OnFinished(result.outcome, result.summary);
    return ResultOf(result.outcome);
}

}  // namespace dravolin::lnx

#include "platform/linux/copy/LinuxShellCopy.h"

#include <cerrno>
#include <utility>
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/drives/DrivePaths.h"
#include "platform/linux/drives/LinuxShellInfo.h"
#include "platform/linux/paths/TargetPaths.h"
#include "platform/linux/copy/TreeCopier.h"
#include "platform/linux/mount/OwnMountRelease.h"

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
                               std::shared_ptr<CopyIo> io, std::shared_ptr<DriveStates> states)
    : drives_(std::move(drives)),
      mounter_(std::move(mounter)),
      prompts_(std::move(prompts)),
      io_(std::move(io)),
      states_(std::move(states)) {}

// Worker thread.
int LinuxShellCopy::FileOperation(const Operation& op) {
    const std::string_view from = FirstOfPathList(op.from);
    const std::string target = FolderOfTarget(FirstOfPathList(op.to));
    const std::optional<char> letter = LetterOfCopySource(from);
    const OpticalDrive* drive = letter ? drives_->Find(*letter) : nullptr;
    if (op.function != win::kFoCopy || !drive || target.empty()) {
        prompts_->Begin(op.owner, CopySource{0, std::string(from)}, target)
            ->OnFinished(CopyOutcome::Failed, "Nothing to copy: the source is not a disc.");
        return kResultFailed;
    }

    // The row shows the disc's label by the end of the copy at the latest, whenever the
    // poll's own refresh gets to it; the copy's windows name the drive as the row does.
    if (states_) states_->Refresh(drive->letter);
    std::unique_ptr<CopyPrompts> prompts = prompts_->Begin(
        op.owner, CopySource{drive->letter, NameInList(*drive, states_.get())}, target);

    DiscMounter::Mounted mounted;
    for (;;) {
        mounted = mounter_->EnsureMounted(*drive);
        if (mounted.ok) break;
        const CopyFailure failure{drive->deviceNode, ENOMEDIUM, mounted.failure.reason,
                                  mounted.failure.problem};
        if (CancelRequested() || prompts->AskError(failure) != ErrorDecision::Retry) {
            // The question said why; nothing is left to add.
            prompts->OnFinished(CopyOutcome::Failed, {});
            return kResultFailed;
        }
    }
    prompts->OnMounted(mounted.mountPoint);

    const OwnMountRelease release(*mounter_, *drive, mounted.own);
    TreeCopier copier(*io_, *prompts);
    const TreeCopier::Result result = copier.Copy(mounted.mountPoint, target);
    prompts->OnFinished(result.outcome, result.summary);
    return ResultOf(result.outcome);
}

}  // namespace dravolin::lnx

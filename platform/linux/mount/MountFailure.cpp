#include "platform/linux/mount/MountFailure.h"

#include <cerrno>
#include "platform/linux/io/ErrorText.h"

namespace dravolin::lnx {

namespace {

// mount(2) was refused before it looked at the disc.
bool MayNotMount(int error) {
    return error == EPERM || error == EACCES;
}

// mount(2) looked at the disc and found no file system it knows there.
bool FoundNoFileSystem(int error) {
    return error == EINVAL || error == ENODEV || error == EMEDIUMTYPE || error == EUCLEAN;
}

}  // namespace

// mount(2) speaks of the disc itself unless it was refused; the service's answer counts where
// mount(2) could not look.
MountFailure JudgeMountFailure(const std::optional<UDisks2Client::Result>& udisks, int mountError) {
    MountFailure failure;
    failure.detail = "UDisks2: " + (udisks ? udisks->Text() : std::string("not asked")) +
                     "; mount(2): " + ErrorText(mountError) + " (errno " +
                     std::to_string(mountError) + ")";
    const bool asked = udisks && !udisks->serviceAbsent;
    if (mountError == EIO) {
        failure.problem = MountProblem::Unreadable;
    } else if (asked && udisks->notAuthorized) {
        failure.problem = MountProblem::NotAllowed;
    } else if (FoundNoFileSystem(mountError) ||
               (MayNotMount(mountError) && asked && udisks->noFilesystem)) {
        failure.problem = MountProblem::NoFileSystem;
    } else if (MayNotMount(mountError) && !asked) {
        failure.problem = MountProblem::NoDiscService;
    }
    failure.reason = MayNotMount(mountError) && asked ? udisks->error : ErrorText(mountError);
    return failure;
}

}  // namespace dravolin::lnx

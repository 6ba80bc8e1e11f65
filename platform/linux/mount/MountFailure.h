#pragma once
#include <optional>
#include <string>
#include "platform/linux/mount/UDisks2Client.h"

namespace dravolin::lnx {

// Why a disc could not be mounted, in terms a user can act on.
enum class MountProblem {
    NoFileSystem,   // nothing on the disc reads as files: blank, audio or damaged
    Unreadable,     // the drive could not read the disc
    NotAllowed,     // the system's policy refused this user
    NoDiscService,  // UDisks2 does not run, and this process may not mount without it
    Other,          // none of these; the short reason says what
};
inline constexpr int kMountProblems = static_cast<int>(MountProblem::Other) + 1;

struct MountFailure {
    MountProblem problem = MountProblem::Other;
    std::string reason;  // the service's or the C library's own short words
    std::string detail;  // every technical answer, for the error output
};

// What UDisks2 (nullopt when it was not asked) and then mount(2) (an errno value) answered.
MountFailure JudgeMountFailure(const std::optional<UDisks2Client::Result>& udisks, int mountError);

}  // namespace dravolin::lnx

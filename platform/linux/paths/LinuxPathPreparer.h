#pragma once
#include <string>
#include "platform/PathPreparer.h"
#include "platform/linux/paths/TargetPaths.h"

namespace dravolin::lnx {

// Makes a target folder ready: creates it and its missing parents, then succeeds only when it
// is a folder this process may create files in. A target a Linux user would not mean as a
// folder here (TargetRefusal) is refused before anything is made, and a refusal leaves none
// of the folders it made. The reason for a failure is kept for the caller: the core only sees
// the HRESULT; the Qt front end (QtPathPreparer) shows the reason on the dialog before the
// core unticks the drive.
class LinuxPathPreparer : public PathPreparer {
  public:
    // UI thread only.
    std::int32_t PrepareForWrite(WindowHandle owner, const std::string& path,
                                 std::uint32_t flags) override;

    // The last failure's explanation, e.g. "/mnt/x: Permission denied"; for a refused target,
    // the target alone, as LastRefusal tells why. Empty after a success.
    const std::string& LastError() const { return lastError_; }
    // Why the last target was refused; None after a success or another failure.
    TargetRefusal LastRefusal() const { return lastRefusal_; }

  private:
    std::string lastError_;
    TargetRefusal lastRefusal_ = TargetRefusal::None;
};

}  // namespace dravolin::lnx

#pragma once
#include <string>
#include "platform/PathPreparer.h"

namespace dravolin::lnx {

// Makes a target folder ready: creates it and its missing parents, then succeeds only when it
// is a folder this process may create files in. The reason for a failure is kept for the
// caller: the core only sees the HRESULT; the Qt front end (QtPathPreparer) shows the reason on
// the dialog before the core unticks the drive.
class LinuxPathPreparer : public PathPreparer {
  public:
    // UI thread only.
    std::int32_t PrepareForWrite(WindowHandle owner, const std::string& path,
                                 std::uint32_t flags) override;

    // The last failure's explanation, e.g. "/mnt/x: Permission denied"; empty after a success.
    const std::string& LastError() const { return lastError_; }

  private:
    std::string lastError_;
};

}  // namespace dravolin::lnx

#pragma once
#include "platform/ShellInfo.h"

namespace dravolin::qt {

// Display names from the system's services, icons from the desktop's icon theme: the optical
// drive icon for a drive's root, the folder icon for a folder that exists. Where the theme has
// none, no icon comes back and the program's own takes its place. UI thread only.
class QtShellInfo : public ShellInfo {
  public:
    explicit QtShellInfo(ShellInfo& names) : names_(names) {}
    FileInfo GetFileInfo(const std::string& path, std::uint32_t attributes,
                         std::uint32_t flags) override;

    // A drive's root in the core's form, "E:\".
    static bool IsDriveRoot(const std::string& path);

  private:
    ShellInfo& names_;
};

}  // namespace dravolin::qt

#pragma once
#include "platform/PathPreparer.h"
#include "platform/linux/paths/LinuxPathPreparer.h"
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// Folder preparation on the Linux desktop. The Linux services create and check the folder;
// when that fails, the reason is shown in a message box owned by `owner` (the dialog), naming
// the folder, before the failure goes back to the core, which unticks the drive. The box is
// modal: its loop keeps delivering the dialog's timer ticks, as the shell's own prompts do, so
// a further poll may run meanwhile. UI thread only.
class QtPathPreparer : public PathPreparer {
  public:
    QtPathPreparer(lnx::LinuxPathPreparer& folders, Language language)
        : folders_(folders), language_(language) {}
    std::int32_t PrepareForWrite(WindowHandle owner, const std::string& path,
                                 std::uint32_t flags) override;

  private:
    lnx::LinuxPathPreparer& folders_;
    Language language_;
};

}  // namespace dravolin::qt

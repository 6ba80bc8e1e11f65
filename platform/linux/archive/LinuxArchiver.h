#pragma once
#include <memory>
#include <string>
#include "platform/Archiver.h"
#include "platform/linux/archive/DesktopNotifications.h"
#include "platform/linux/copy/CopyIo.h"
#include "platform/linux/copy/CopyPrompts.h"
#include "platform/linux/drives/DriveStates.h"
#include "platform/linux/drives/OpticalDrives.h"
#include "platform/linux/mount/DiscMounter.h"

namespace dravolin::lnx {

// Archive mode's file work on Linux: the log in the target folder, the bag of a disc in a
// drive (mounted as a copy mounts it, written by BagWriter), and the desktop's notifications.
// Thread-safe: every member only reads what it was built with.
class LinuxArchiver : public Archiver {
  public:
    struct Parts {
        std::shared_ptr<const OpticalDrives> drives;
        std::shared_ptr<DiscMounter> mounter;
        std::shared_ptr<DriveStates> states;
        // The face of each disc's copy: its progress window. An archive copy asks nothing.
        std::shared_ptr<CopyPromptsFactory> prompts;
        std::shared_ptr<CopyIo> io;
        std::shared_ptr<DesktopNotifications> notifications;  // null: none
    };
    explicit LinuxArchiver(Parts parts) : parts_(std::move(parts)) {}

    std::string ReadLog(const std::string& folder) override;
    bool AppendLog(const std::string& folder, const archive::LogRow& row) override;
    bool NameTaken(const std::string& folder, const std::string& name) override;
    archive::LocalTime Now() override;
    std::optional<DiscIdentity> ReadDisc(char letter) override;
    BagOutcome BuildBag(const Bag& bag) override;
    void Notify(Urgency urgency, const std::string& text) override;

  private:
    Parts parts_;
};

}  // namespace dravolin::lnx

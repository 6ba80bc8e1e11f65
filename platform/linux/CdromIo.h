#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/UniqueFd.h"

namespace dravolin::lnx {

// The system calls that reach a drive: the one seam the device tests replace.
class CdromIo {
  public:
    virtual ~CdromIo() = default;
    // open(2) with O_RDONLY | O_NONBLOCK | O_CLOEXEC: non-blocking so that a drive without a
    // disc opens at all.
    virtual UniqueFd Open(const std::string& deviceNode);
    // ioctl(2); the argument is passed through as the kernel expects it (a value or a pointer).
    virtual int Ioctl(int fd, unsigned long request, std::uintptr_t argument);
    // Sleeps between two tries of a command the kernel refused for the moment.
    virtual void Pause(std::chrono::milliseconds duration);
};

// What the drive says about its tray and disc, through CDROM_DRIVE_STATUS.
enum class TrayState { NoInfo, NoDisc, TrayOpen, NotReady, DiscOk, Failed };
TrayState QueryTray(CdromIo& io, int fd);

// CDROMEJECT and CDROMCLOSETRAY; true on success. The eject unlocks the door first
// (CDROM_LOCKDOOR 0): a mount locks it, and the kernel unlocks it only when the drive's last
// descriptor closes, so after an unmount the descriptor the eject goes through still holds it
// locked and the drive refuses with "medium removal prevented" (a positive SCSI status).
// The kernel refuses an eject with EBUSY while any other descriptor of the drive is open, and
// an unmount is followed by udev's probe of the drive, which holds one for a moment: the eject
// is tried again for up to kEjectBusyTries pauses of kEjectBusyPause before it counts as
// refused. A disc that stays in is copied again, so a moment's wait is the cheaper outcome.
inline constexpr int kEjectBusyTries = 30;
inline constexpr std::chrono::milliseconds kEjectBusyPause{100};
bool EjectTray(CdromIo& io, int fd);
bool CloseTray(CdromIo& io, int fd);

// CDROM_LOCKDOOR 0: the drive's own button works again. True on success.
bool UnlockDoor(CdromIo& io, int fd);

// CDROM_MEDIA_CHANGED for the current slot: true when the kernel saw the medium change since
// the last time this process or another asked; false when it did not or cannot tell.
bool MediaChanged(CdromIo& io, int fd);

// The byte offset of the last session of a multi-session disc (CDROMMULTISESSION), where a
// file system's descriptors are read; 0 for a single session or when the drive cannot tell.
std::uint64_t LastSessionOffset(CdromIo& io, int fd);

}  // namespace dravolin::lnx

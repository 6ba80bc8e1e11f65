#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include "platform/linux/io/UniqueFd.h"

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

// CDROMEJECT and CDROMCLOSETRAY; true on success. Every try of the eject unlocks the door
// first (CDROM_LOCKDOOR 0): a mount locks it, and the kernel unlocks it only when the drive's
// last descriptor closes, so after an unmount the descriptor the eject goes through still holds
// it locked and the drive refuses with "medium removal prevented" (a positive SCSI status); and
// the kernel refuses the unlock itself with EBUSY while another descriptor is open.
// The kernel refuses an eject with EBUSY while any other descriptor of the drive is open:
// udev's probes (cdrom_id, blkid) hold one for a moment after a media change or an unmount,
// and for seconds on a slow drive or a disc whose descriptors fail to read. Such a refusal is
// asked again every kEjectBusyPause, up to `busyPauses` times, or until the worker is told to
// stop. A disc that stays in is copied again, so a worker waits long (kEjectBusyPausesOnWorker);
// the UI thread's double-click only a moment (kEjectBusyPausesOnUiThread). A drive's own
// refusal is asked again up to kEjectRefusedPauses times, counted apart from the busy ones: a
// drive reports a unit attention (a medium change, a reset) once, to whichever command comes
// next, and a door whose unlock was refused while the drive was busy is locked to the eject
// that follows. A door another process keeps locked stays locked: its unlock is refused
// throughout.
inline constexpr std::chrono::milliseconds kEjectBusyPause{100};
inline constexpr int kEjectRefusedPauses = 10;
inline constexpr int kEjectBusyPausesOnWorker = 150;
inline constexpr int kEjectBusyPausesOnUiThread = 10;
bool EjectTray(CdromIo& io, int fd, int busyPauses, int* status = nullptr);
bool CloseTray(CdromIo& io, int fd);

// CDROM_LOCKDOOR 0: the drive's own button works again. True on success.
bool UnlockDoor(CdromIo& io, int fd);

// Whether the medium changed since the caller last asked. `lastChange` is the kernel's time of
// the last change this caller saw (0 before its first call, which then answers true); the call
// moves it on. CDROM_TIMED_MEDIA_CHANGE (Linux 5.16 and later) answers each caller by that
// time. Where the kernel lacks it, CDROM_MEDIA_CHANGED is asked instead: one flag that every
// process shares and the first to ask clears, so a change a desktop's prober asked about
// first is missed there. False when the drive cannot tell.
bool MediaChanged(CdromIo& io, int fd, std::int64_t& lastChange);

// The byte offset of the last session of a multi-session disc (CDROMMULTISESSION), where a
// file system's descriptors are read; 0 for a single session or when the drive cannot tell.
std::uint64_t LastSessionOffset(CdromIo& io, int fd);

}  // namespace dravolin::lnx

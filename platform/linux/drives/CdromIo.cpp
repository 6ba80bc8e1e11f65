#include "platform/linux/drives/CdromIo.h"

#include <fcntl.h>
#include <cerrno>
#include <thread>
#include <sys/ioctl.h>
#include <climits>  // linux/cdrom.h uses INT_MAX without including it
#include <linux/cdrom.h>
#include "platform/linux/threads/Cancellation.h"

namespace dravolin::lnx {

namespace {
constexpr std::uint64_t kSectorSize = 2048;
}

UniqueFd CdromIo::Open(const std::string& deviceNode) {
    return UniqueFd(::open(deviceNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

int CdromIo::Ioctl(int fd, unsigned long request, std::uintptr_t argument) {
    return ::ioctl(fd, request, argument);
}

void CdromIo::Pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

TrayState QueryTray(CdromIo& io, int fd) {
    switch (io.Ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT)) {
        case CDS_NO_INFO:
            return TrayState::NoInfo;
        case CDS_NO_DISC:
            return TrayState::NoDisc;
        case CDS_TRAY_OPEN:
            return TrayState::TrayOpen;
        case CDS_DRIVE_NOT_READY:
            return TrayState::NotReady;
        case CDS_DISC_OK:
            return TrayState::DiscOk;
        default:
            return TrayState::Failed;
    }
}

bool EjectTray(CdromIo& io, int fd, int busyPauses, int* status) {
    int busy = 0;     // refusals with EBUSY: another descriptor of the drive is open
    int refused = 0;  // the drive's own refusals
    for (;;) {
        // A failed unlock is no reason not to try: the eject's own answer is what counts. It is
        // asked before every try, since the kernel refuses it too while another descriptor is
        // open, and a door left locked then turns the next eject into the drive's refusal.
        UnlockDoor(io, fd);
        const int result = io.Ioctl(fd, CDROMEJECT, 0);
        if (result == 0) return true;
        const int error = result == -1 ? errno : 0;
        const bool again =
            error == EBUSY ? busy++ < busyPauses : result > 0 && refused++ < kEjectRefusedPauses;
        if (!again || CancelRequested()) {
            if (status) *status = result == -1 ? error : -result;
            return false;
        }
        io.Pause(kEjectBusyPause);
    }
}

bool UnlockDoor(CdromIo& io, int fd) {
    return io.Ioctl(fd, CDROM_LOCKDOOR, 0) == 0;
}

bool MediaChanged(CdromIo& io, int fd, std::int64_t& lastChange) {
    cdrom_timed_media_change_info info{};
    info.last_media_change = lastChange;
    if (io.Ioctl(fd, CDROM_TIMED_MEDIA_CHANGE, reinterpret_cast<std::uintptr_t>(&info)) == 0) {
        lastChange = info.last_media_change;
        return (info.media_flags & MEDIA_CHANGED_FLAG) != 0;
    }
    // A kernel before 5.16 answers an unknown request with one of these, depending on the
    // layer that gave up on it; any other error is the drive's, which the old call shares.
    const int error = errno;
    if (error != ENOSYS && error != EINVAL && error != ENOTTY) return false;
    return io.Ioctl(fd, CDROM_MEDIA_CHANGED, CDSL_CURRENT) == 1;
}

bool CloseTray(CdromIo& io, int fd) {
    return io.Ioctl(fd, CDROMCLOSETRAY, 0) == 0;
}

std::uint64_t LastSessionOffset(CdromIo& io, int fd) {
    cdrom_multisession session{};
    session.addr_format = CDROM_LBA;
    if (io.Ioctl(fd, CDROMMULTISESSION, reinterpret_cast<std::uintptr_t>(&session)) != 0) return 0;
    if (!session.xa_flag || session.addr.lba <= 0) return 0;
    return static_cast<std::uint64_t>(session.addr.lba) * kSectorSize;
}

}  // namespace dravolin::lnx

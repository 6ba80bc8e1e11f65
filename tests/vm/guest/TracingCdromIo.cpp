#include "TracingCdromIo.h"

#include <cerrno>
#include <climits>  // linux/cdrom.h uses INT_MAX without including it
#include <cstring>
#include <linux/cdrom.h>

namespace dravolin::vm {

namespace {

// The commands worth a line even when they succeed; status queries are too frequent.
const char* TrayCommandName(unsigned long request) {
    switch (request) {
        case CDROMEJECT:
            return "eject";
        case CDROMCLOSETRAY:
            return "close";
        default:
            return nullptr;
    }
}

std::string RequestName(unsigned long request) {
    if (const char* name = TrayCommandName(request)) return name;
    switch (request) {
        case CDROM_DRIVE_STATUS:
            return "status";
        case CDROMMULTISESSION:
            return "multisession";
        case CDROM_LOCKDOOR:
            return "lockdoor";
        case CDROM_MEDIA_CHANGED:
            return "media-changed";
        case CDROM_TIMED_MEDIA_CHANGE:
            return "timed-media-change";
        default:
            return "ioctl " + std::to_string(request);
    }
}

}  // namespace

std::string TracingCdromIo::NodeOf(int fd) {
    std::lock_guard lock(mutex_);
    const auto it = nodes_.find(fd);
    if (it == nodes_.end()) return "fd" + std::to_string(fd);
    const std::size_t slash = it->second.rfind('/');
    return slash == std::string::npos ? it->second : it->second.substr(slash + 1);
}

lnx::UniqueFd TracingCdromIo::Open(const std::string& deviceNode) {
    lnx::UniqueFd fd = lnx::CdromIo::Open(deviceNode);
    if (!fd) {
        const int error = errno;
        console_->Line("IOCTL " + deviceNode + " open failed: " + std::strerror(error));
        return fd;
    }
    std::lock_guard lock(mutex_);
    nodes_[fd.Get()] = deviceNode;
    return fd;
}

int TracingCdromIo::Ioctl(int fd, unsigned long request, std::uintptr_t argument) {
    const int result = lnx::CdromIo::Ioctl(fd, request, argument);
    const int error = errno;
    // CDROM_DRIVE_STATUS answers with a non-negative state; a tray command succeeds with 0
    // only: the kernel passes a drive's refusal through as a positive SCSI status.
    const char* trayCommand = TrayCommandName(request);
    if (result < 0) {
        console_->Line("IOCTL " + NodeOf(fd) + " " + RequestName(request) +
                       " failed: " + std::strerror(error));
    } else if (trayCommand && result > 0) {
        console_->Line("IOCTL " + NodeOf(fd) + " " + trayCommand + " failed: SCSI status " +
                       std::to_string(result));
    } else if (trayCommand) {
        console_->Line("IOCTL " + NodeOf(fd) + " " + trayCommand + " ok");
    }
    errno = error;
    return result;
}

}  // namespace dravolin::vm

#include "FakeSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dravolin::lnx::test {

FakeSystem::FakeSystem() {
    roots_.sys = temp_ / "sys";
    roots_.dev = temp_ / "dev";
    roots_.mountInfo = temp_ / "mountinfo";
    roots_.udevData = temp_ / "udev";
    MakeFolder(roots_.sys + "/block");
    MakeFolder(roots_.dev);
    WriteFile(roots_.mountInfo, "");
}

void FakeSystem::AddBlockDevice(const std::string& name, int scsiType, const std::string& model) {
    const std::string device = roots_.sys + "/block/" + name + "/device";
    MakeFolder(device);
    if (scsiType >= 0) WriteFile(device + "/type", std::to_string(scsiType) + "\n");
    if (!model.empty()) WriteFile(device + "/model", model + "  \n");
    WriteFile(Dev(name), "");
}

void FakeSystem::SetUdevSerial(const std::string& name, const std::string& number,
                               const std::string& lines) {
    WriteFile(roots_.sys + "/block/" + name + "/dev", number + "\n");
    MakeFolder(roots_.udevData);
    WriteFile(roots_.udevData + "/b" + number, lines);
}

void FakeSystem::SetDeviceContent(const std::string& name, const std::string& bytes) {
    WriteFile(Dev(name), bytes);
}

void FakeSystem::AddMount(const std::string& source, const std::string& mountPoint) {
    std::string device = "0:77";
    const std::string nodes = roots_.dev + "/";
    if (source.rfind(nodes, 0) == 0) {
        std::string reason;
        device = MakeBlockNode(source.substr(nodes.size()), reason);
        if (device.empty()) device = "0:0";  // no mount of it will be found
    }
    mountLines_ += "99 1 " + device + " / " + mountPoint + " ro,relatime shared:1 - iso9660 " +
                   source + " ro\n";
    WriteFile(roots_.mountInfo, mountLines_);
}

std::string FakeSystem::MakeBlockNode(const std::string& name, std::string& reason) {
    const std::string node = Dev(name);
    ::unlink(node.c_str());
    // Numbers no real drive of this machine is likely to have.
    if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(11, 200 + nodes_++)) != 0) {
        reason = std::string("mknod: ") + std::strerror(errno);
        std::string device;
        if (DIR* dir = ::opendir("/dev")) {
            while (const dirent* entry = ::readdir(dir)) {
                struct stat st {};
                const std::string path = std::string("/dev/") + entry->d_name;
                if (::lstat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
                    device = path;
                    break;
                }
            }
            ::closedir(dir);
        }
        if (device.empty() || ::symlink(device.c_str(), node.c_str()) != 0) {
            reason += "; no block device in /dev to link to";
            return "";
        }
    }
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) {
        reason = "the node is not a block device";
        return "";
    }
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

UniqueFd FakeCdrom::Open(const std::string& deviceNode) {
    UniqueFd fd = CdromIo::Open(deviceNode);
    if (!fd && (errno == ENXIO || errno == ENODEV)) {
        // A node made a block device so that its mount is found by number (AddMount) has no
        // driver behind it; this fake answers every command itself, so any descriptor will do.
        fd.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    std::lock_guard lock(mutex_);
    openers_.push_back(std::this_thread::get_id());
    if (fd) nodes_[fd.Get()] = deviceNode;
    return fd;
}

int FakeCdrom::Ioctl(int fd, unsigned long request, std::uintptr_t argument) {
    {
        std::lock_guard lock(mutex_);
        const auto node = nodes_.find(fd);
        calls_.push_back({request, argument, std::this_thread::get_id(),
                          node == nodes_.end() ? std::string() : node->second});
    }
    if (onIoctl) onIoctl(request);
    switch (request) {
        case CDROM_DRIVE_STATUS:
            return status;
        case CDROMEJECT:
            if (ejectsBusy > 0) {
                --ejectsBusy;
                errno = EBUSY;
                return -1;
            }
            if (ejectsRefused > 0) {
                --ejectsRefused;
                return 2;
            }
            if (doorLocked) return 2;
            if (ejectResult == -1) errno = EIO;
            return ejectResult;
        case CDROMCLOSETRAY:
            return closeResult;
        case CDROM_LOCKDOOR:
            if (argument == 0 && unlocksRefused > 0) {
                --unlocksRefused;
                errno = EBUSY;
                return -1;
            }
            if (argument == 0 && lockResult == 0) doorLocked = false;
            return lockResult;
        case CDROM_MEDIA_CHANGED:
            return AskedElsewhere() ? 1 : 0;
        case CDROM_TIMED_MEDIA_CHANGE: {
            if (timedMediaChangeError != 0) {
                errno = timedMediaChangeError;
                return -1;
            }
            auto* info = reinterpret_cast<cdrom_timed_media_change_info*>(argument);
            std::lock_guard lock(mutex_);
            TakeChange();
            info->media_flags = info->last_media_change < lastChangeMs_ ? MEDIA_CHANGED_FLAG : 0;
            info->last_media_change = lastChangeMs_;
            return 0;
        }
        case CDROMREADTOCHDR: {
            auto* header = reinterpret_cast<cdrom_tochdr*>(argument);
            if (tracks.empty()) return -1;
            header->cdth_trk0 = 1;
            header->cdth_trk1 = static_cast<std::uint8_t>(tracks.size());
            return 0;
        }
        case CDROMREADTOCENTRY: {
            auto* entry = reinterpret_cast<cdrom_tocentry*>(argument);
            if (entry->cdte_track >= 1 && entry->cdte_track <= tracks.size()) {
                const auto& [start, data] = tracks[entry->cdte_track - 1u];
                entry->cdte_addr.lba = static_cast<int>(start);
                entry->cdte_ctrl = data ? CDROM_DATA_TRACK : 0;
                return 0;
            }
            if (leadOutLba == 0 || entry->cdte_track != CDROM_LEADOUT) return -1;
            entry->cdte_addr.lba = static_cast<int>(leadOutLba);
            return 0;
        }
        case CDROMMULTISESSION: {
            auto* session = reinterpret_cast<cdrom_multisession*>(argument);
            session->xa_flag = sessionLba != 0;
            session->addr.lba = static_cast<int>(sessionLba);
            return 0;
        }
        default:
            return -1;
    }
}

void FakeCdrom::ChangeMedium() {
    std::lock_guard lock(mutex_);
    changeReported_ = true;
    clockMs_ += 1000;
}

bool FakeCdrom::AskedElsewhere() {
    std::lock_guard lock(mutex_);
    return TakeChange();
}

bool FakeCdrom::TakeChange() {
    if (!changeReported_) return false;
    changeReported_ = false;
    lastChangeMs_ = clockMs_;
    return true;
}

void FakeCdrom::Pause(std::chrono::milliseconds duration) {
    ++pauses;
    pausedMs += duration.count();
}

std::vector<FakeCdrom::Call> FakeCdrom::Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::thread::id> FakeCdrom::Threads() {
    std::lock_guard lock(mutex_);
    std::vector<std::thread::id> threads = openers_;
    for (const Call& call : calls_) threads.push_back(call.thread);
    return threads;
}

bool FakeCdrom::Unlocked(const std::string& node) {
    std::lock_guard lock(mutex_);
    return std::any_of(calls_.begin(), calls_.end(), [&](const Call& call) {
        return call.request == CDROM_LOCKDOOR && call.argument == 0 && call.node == node;
    });
}

std::vector<unsigned long> Requests(const std::vector<FakeCdrom::Call>& calls) {
    std::vector<unsigned long> requests;
    for (const FakeCdrom::Call& call : calls) requests.push_back(call.request);
    return requests;
}

int FakeMountCalls::Mount(const std::string& source, const std::string& target,
                          const std::string& fsType, unsigned long) {
    std::lock_guard lock(mutex_);
    log.push_back("mount " + source + " " + target + " " + fsType);
    const auto it = mountErrors.find(fsType);
    return it == mountErrors.end() ? 0 : it->second;
}

int FakeMountCalls::Unmount(const std::string& target, int flags) {
    std::lock_guard lock(mutex_);
    log.push_back("umount " + target + (flags ? " detach" : ""));
    return 0;
}

std::vector<std::string> FakeMountCalls::Log() {
    std::lock_guard lock(mutex_);
    return log;
}

}  // namespace dravolin::lnx::test

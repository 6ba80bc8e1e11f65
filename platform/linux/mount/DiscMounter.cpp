#include "platform/linux/mount/DiscMounter.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>
#include "platform/linux/threads/Cancellation.h"
#include "platform/linux/mount/MountTable.h"
#include "platform/linux/mount/ReadOnlyMount.h"
#include "platform/linux/drives/VolumeReader.h"

namespace dravolin::lnx {

int MountCalls::Mount(const std::string& source, const std::string& target,
                      const std::string& fsType, unsigned long flags) {
    return ::mount(source.c_str(), target.c_str(), fsType.c_str(), flags, nullptr) == 0 ? 0 : errno;
}

int MountCalls::Unmount(const std::string& target, int flags) {
    return ::umount2(target.c_str(), flags) == 0 ? 0 : errno;
}

DiscMounter::DiscMounter(Options options, std::shared_ptr<MountCalls> calls,
                         std::shared_ptr<CdromIo> io)
    : options_(std::move(options)),
      calls_(std::move(calls)),
      io_(std::move(io)),
      udisks_(options_.busAddress) {}

std::optional<std::string> DiscMounter::CurrentMount(const OpticalDrive& drive) const {
    return FindMountPoint(ReadMountInfo(options_.mountInfo), drive.deviceNode);
}

DiscMounter::Mounted DiscMounter::EnsureMounted(const OpticalDrive& drive) {
    Mounted result;
    if (std::optional<std::string> existing = CurrentMount(drive)) {
        result.ok = true;
        result.mountPoint = *existing;
        return result;
    }
    std::optional<UDisks2Client::Result> udisks;
    if (options_.useUDisks2) {
        UDisks2Client::Result mounted = MountThroughUDisks2(drive);
        if (mounted.ok) {
            std::lock_guard lock(mutex_);
            own_[drive.deviceNode] = OwnMount{mounted.mountPoint, Method::UDisks2, drive.name};
            result.ok = true;
            result.own = true;
            result.mountPoint = mounted.mountPoint;
            return result;
        }
        if (mounted.alreadyMounted) {
            // Mounted by someone else between our look and our call.
            if (std::optional<std::string> existing = CurrentMount(drive)) {
                result.ok = true;
                result.mountPoint = *existing;
                return result;
            }
        }
        udisks = std::move(mounted);
    }
    return MountPrivately(drive, udisks);
}

UDisks2Client::Result DiscMounter::MountThroughUDisks2(const OpticalDrive& drive) {
    UDisks2Client::Result mounted = udisks_.Mount(drive.name, "ro");
    // A blank or unreadable disc has no file system for good: its error is shown at once.
    if (!mounted.noFilesystem || !CarriesFileSystem(drive)) return mounted;
    const auto deadline = std::chrono::steady_clock::now() + options_.udisksLearnsDisc;
    while (mounted.noFilesystem && !CancelRequested() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(UDisks2Client::kRecheck);
        mounted = udisks_.Mount(drive.name, "ro");
    }
    return mounted;
}

bool DiscMounter::CarriesFileSystem(const OpticalDrive& drive) {
    UniqueFd fd = io_->Open(drive.deviceNode);
    if (!fd) return false;
    return ReadVolumeIdentity(fd.Get(), LastSessionOffset(*io_, fd.Get())).has_value();
}

std::string PrivateMountRoot(const std::string& configured) {
    if (!configured.empty()) return configured;
    if (::geteuid() == 0) return "/run/dravolin";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/dravolin";
    return "/tmp/dravolin-" + std::to_string(::geteuid());
}

DiscMounter::Mounted DiscMounter::MountPrivately(
    const OpticalDrive& drive, const std::optional<UDisks2Client::Result>& udisks) {
    Mounted result;
    const std::string root = PrivateMountRoot(options_.privateMountRoot);
    const std::string folder = root + "/" + drive.name;
    ::mkdir(root.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    int error = 0;
    for (const char* fsType : kDiscFileSystems) {
        const int tried = calls_->Mount(drive.deviceNode, folder, fsType, kReadOnlyFlags);
        if (tried == 0) {
            std::lock_guard lock(mutex_);
            own_[drive.deviceNode] = OwnMount{folder, Method::Syscall, drive.name};
            result.ok = true;
            result.own = true;
            result.mountPoint = folder;
            return result;
        }
        if (error != EIO) error = tried;               // a read error says most about the disc
        if (error == EPERM || error == EACCES) break;  // no other file system will do better
    }
    ::rmdir(folder.c_str());
    result.failure = JudgeMountFailure(udisks, error);
    // The user reads what it means; whoever watches an unattended run reads this.
    std::fprintf(stderr, "dravolin: %c: (%s) could not be mounted: %s\n", drive.letter,
                 drive.deviceNode.c_str(), result.failure.detail.c_str());
    return result;
}

std::optional<DiscMounter::OwnMount> DiscMounter::TakeOwn(const std::string& deviceNode) {
    std::lock_guard lock(mutex_);
    auto it = own_.find(deviceNode);
    if (it == own_.end()) return std::nullopt;
    OwnMount own = std::move(it->second);
    own_.erase(it);
    return own;
}

bool DiscMounter::Unmount(const OwnMount& own) {
    if (own.method == Method::UDisks2) return udisks_.Unmount(own.name).ok;
    // A busy mount is detached now and goes once nothing uses it any more.
    const bool gone =
        calls_->Unmount(own.mountPoint, 0) == 0 || calls_->Unmount(own.mountPoint, MNT_DETACH) == 0;
    ::rmdir(own.mountPoint.c_str());
    return gone;
}

bool DiscMounter::ReleaseForEject(const OpticalDrive& drive) {
    const std::optional<OwnMount> own = TakeOwn(drive.deviceNode);
    if (own && Unmount(*own) && own->method == Method::UDisks2) return true;
    if ((!own || own->method == Method::Syscall) && options_.useUDisks2 && CurrentMount(drive)) {
        udisks_.Unmount(drive.name);
    }
    return !CurrentMount(drive);
}

void DiscMounter::Release(const std::string& deviceNode, const OwnMount& own) {
    if (!Unmount(own)) return;  // still mounted: the door stays locked, as the kernel keeps it
    // The kernel unlocks the door when the drive's last user lets go; a user that still holds
    // the drive open (another program, another of our workers) would keep it locked.
    UniqueFd fd = io_->Open(deviceNode);
    if (fd) UnlockDoor(*io_, fd.Get());
}

bool DiscMounter::ReleaseOwn(const OpticalDrive& drive) {
    const std::optional<OwnMount> own = TakeOwn(drive.deviceNode);
    if (!own) return false;
    Release(drive.deviceNode, *own);
    return true;
}

void DiscMounter::ReleaseAll() {
    std::map<std::string, OwnMount> own;
    {
        std::lock_guard lock(mutex_);
        own.swap(own_);
    }
    for (const auto& [deviceNode, mount] : own) Release(deviceNode, mount);
}

}  // namespace dravolin::lnx

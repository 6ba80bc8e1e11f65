#include "platform/linux/DiscMounter.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <utility>
#include "platform/linux/ErrorText.h"
#include "platform/linux/MountTable.h"

namespace dravolin::lnx {

namespace {

// UDF first: where a disc carries both, it has the fuller names.
constexpr const char* kFileSystems[] = {"udf", "iso9660"};
constexpr unsigned long kReadOnlyFlags = MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC;

}  // namespace

int MountCalls::Mount(const std::string& source, const std::string& target,
                      const std::string& fsType, unsigned long flags) {
    return ::mount(source.c_str(), target.c_str(), fsType.c_str(), flags, nullptr) == 0 ? 0 : errno;
}

int MountCalls::Unmount(const std::string& target, int flags) {
    return ::umount2(target.c_str(), flags) == 0 ? 0 : errno;
}

DiscMounter::DiscMounter(Options options, std::shared_ptr<MountCalls> calls)
    : options_(std::move(options)), calls_(std::move(calls)), udisks_(options_.busAddress) {}

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
    std::string udisksError = "not tried";
    if (options_.useUDisks2) {
        UDisks2Client::Result mounted = udisks_.Mount(drive.name, "ro");
        if (mounted.ok) {
            std::lock_guard lock(mutex_);
            own_[drive.deviceNode] = OwnMount{mounted.mountPoint, Method::UDisks2};
            result.ok = true;
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
        udisksError = mounted.error;
    }
    return MountPrivately(drive, udisksError);
}

std::string DiscMounter::PrivateRoot() const {
    if (!options_.privateMountRoot.empty()) return options_.privateMountRoot;
    if (::geteuid() == 0) return "/run/dravolin";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/dravolin";
    return "/tmp/dravolin-" + std::to_string(::geteuid());
}

DiscMounter::Mounted DiscMounter::MountPrivately(const OpticalDrive& drive,
                                                 const std::string& udisksError) {
    Mounted result;
    const std::string root = PrivateRoot();
    const std::string folder = root + "/" + drive.name;
    ::mkdir(root.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    int error = 0;
    for (const char* fsType : kFileSystems) {
        error = calls_->Mount(drive.deviceNode, folder, fsType, kReadOnlyFlags);
        if (error == 0) {
            std::lock_guard lock(mutex_);
            own_[drive.deviceNode] = OwnMount{folder, Method::Syscall};
            result.ok = true;
            result.mountPoint = folder;
            return result;
        }
        if (error == EPERM || error == EACCES) break;  // no other file system will do better
    }
    ::rmdir(folder.c_str());
    result.error = "The disc in " + drive.deviceNode +
                   " could not be mounted. UDisks2: " + udisksError +
                   ". mount: " + ErrorText(error) + ".";
    return result;
}

bool DiscMounter::ReleaseForEject(const OpticalDrive& drive) {
    std::optional<OwnMount> own;
    {
        std::lock_guard lock(mutex_);
        auto it = own_.find(drive.deviceNode);
        if (it != own_.end()) {
            own = it->second;
            own_.erase(it);
        }
    }
    if (own && own->method == Method::Syscall) {
        if (calls_->Unmount(own->mountPoint, 0) != 0) calls_->Unmount(own->mountPoint, MNT_DETACH);
        ::rmdir(own->mountPoint.c_str());
    }
    const bool udisksOwned = own && own->method == Method::UDisks2;
    if (udisksOwned || (options_.useUDisks2 && CurrentMount(drive))) {
        const UDisks2Client::Result unmounted = udisks_.Unmount(drive.name);
        if (udisksOwned && unmounted.ok) return true;
    }
    return !CurrentMount(drive);
}

}  // namespace dravolin::lnx

#include "FakeSystem.h"

#include <algorithm>

namespace dravolin::lnx::test {

FakeSystem::FakeSystem() {
    roots_.sys = temp_ / "sys";
    roots_.dev = temp_ / "dev";
    roots_.mountInfo = temp_ / "mountinfo";
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

void FakeSystem::SetDeviceContent(const std::string& name, const std::string& bytes) {
    WriteFile(Dev(name), bytes);
}

void FakeSystem::AddMount(const std::string& source, const std::string& mountPoint) {
    mountLines_ +=
        "99 1 0:77 / " + mountPoint + " ro,relatime shared:1 - iso9660 " + source + " ro\n";
    WriteFile(roots_.mountInfo, mountLines_);
}

UniqueFd FakeCdrom::Open(const std::string& deviceNode) {
    UniqueFd fd = CdromIo::Open(deviceNode);
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
            return ejectResult;
        case CDROMCLOSETRAY:
            return closeResult;
        case CDROM_LOCKDOOR:
            return lockResult;
        case CDROM_MEDIA_CHANGED:
            return mediaChanged;
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

#include "platform/linux/mount/ImageMount.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>
#include "platform/linux/drives/VolumeReader.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/io/UniqueFd.h"
#include "platform/linux/mount/MountTable.h"
#include "platform/linux/mount/ReadOnlyMount.h"
#include "platform/linux/threads/Cancellation.h"

namespace dravolin::lnx {

namespace {

// Another program may take the free loop device between our question and our claim.
constexpr int kLoopAttempts = 5;
// A disc's sector: UDF finds its anchor at the first block size it tries.
constexpr unsigned kLoopBlockSize = 2048;
// A file manager or a probe may hold the mount a moment longer than our reader.
constexpr int kUnmountAttempts = 20;
constexpr auto kUnmountRecheck = std::chrono::milliseconds(100);

// A loop device bound to the image read-only, or what refused.
struct Loop {
    UniqueFd fd;
    std::string node;
    std::string error;  // when !fd
};

// With AUTOCLEAR the device lets go of the image by itself when its last user closes it: our
// descriptor when the mount fails, the mount when it goes. Nothing stays attached whatever
// happens to this process after.
Loop AttachLoop(int imageFd) {
    Loop loop;
    UniqueFd control(::open("/dev/loop-control", O_RDWR | O_CLOEXEC));
    if (!control) {
        loop.error = "/dev/loop-control: " + ErrorText(errno);
        return loop;
    }
    for (int attempt = 0; attempt < kLoopAttempts; ++attempt) {
        const int number = ::ioctl(control.Get(), LOOP_CTL_GET_FREE);
        if (number < 0) {
            loop.error = "/dev/loop-control: " + ErrorText(errno);
            return loop;
        }
        loop.node = "/dev/loop" + std::to_string(number);
        loop.fd.Reset(::open(loop.node.c_str(), O_RDWR | O_CLOEXEC));
        if (!loop.fd) {
            loop.error = loop.node + ": " + ErrorText(errno);
            return loop;
        }
        loop_config config{};
        config.fd = static_cast<__u32>(imageFd);
        config.block_size = kLoopBlockSize;
        config.info.lo_flags = LO_FLAGS_READ_ONLY | LO_FLAGS_AUTOCLEAR;
        if (::ioctl(loop.fd.Get(), LOOP_CONFIGURE, &config) == 0) return loop;
        const int error = errno;
        loop.fd.Reset();
        loop.error = loop.node + ": " + ErrorText(error);
        if (error != EBUSY) return loop;
    }
    return loop;
}

bool ImageCarriesFileSystem(int imageFd) {
    FdDiscBytes bytes(imageFd);
    return ReadDiscFingerprint(bytes).has_value();
}

}  // namespace

ImageMount::ImageMount(const Options& options, std::shared_ptr<MountCalls> calls)
    : udisks_(options.busAddress), calls_(std::move(calls)) {}

ImageMount::ImageMount(ImageMount&& other) noexcept
    : method_(std::exchange(other.method_, Method::None)),
      folder_(std::move(other.folder_)),
      error_(std::move(other.error_)),
      loopName_(std::move(other.loopName_)),
      udisks_(std::move(other.udisks_)),
      calls_(std::move(other.calls_)) {}

ImageMount& ImageMount::operator=(ImageMount&& other) noexcept {
    if (this != &other) {
        Release();
        method_ = std::exchange(other.method_, Method::None);
        folder_ = std::move(other.folder_);
        error_ = std::move(other.error_);
        loopName_ = std::move(other.loopName_);
        udisks_ = std::move(other.udisks_);
        calls_ = std::move(other.calls_);
    }
    return *this;
}

ImageMount::~ImageMount() {
    Release();
}

ImageMount ImageMount::Mount(int imageFd, const Options& options,
                             std::shared_ptr<MountCalls> calls) {
    ImageMount mount(options, std::move(calls));
    std::string refused;
    if (options.useUDisks2) {
        const UDisks2Client::Result mounted =
            mount.MountThroughUDisks2(imageFd, options.udisksLearnsLoop);
        if (mounted.ok) return mount;
        refused = "UDisks2: " + mounted.Text();
        // The service speaks for the system's policy; only root may go around it.
        if (!mounted.serviceAbsent && ::geteuid() != 0) {
            mount.error_ = std::move(refused);
            return mount;
        }
    }
    mount.MountPrivately(imageFd, PrivateMountRoot(options.privateMountRoot));
    if (!mount.ok() && !refused.empty()) mount.error_ = refused + "; " + mount.error_;
    return mount;
}

UDisks2Client::Result ImageMount::MountThroughUDisks2(int imageFd,
                                                      std::chrono::milliseconds learns) {
    const UDisks2Client::Result loop = udisks_.LoopSetup(imageFd);
    if (!loop.ok) return loop;
    UDisks2Client::Result mounted = udisks_.Mount(loop.loopName, "ro");
    // The service learns of the new device's file system only once udev has probed it; an
    // image that carries none has its error at once.
    if (mounted.noFilesystem && ImageCarriesFileSystem(imageFd)) {
        const auto deadline = std::chrono::steady_clock::now() + learns;
        while (mounted.noFilesystem && !CancelRequested() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(UDisks2Client::kRecheck);
            mounted = udisks_.Mount(loop.loopName, "ro");
        }
    }
    if (mounted.alreadyMounted) {
        // The desktop mounts a loop device its user sets up as soon as it appears.
        const std::optional<std::string> existing =
            FindMountPoint(ReadMountInfo("/proc/self/mountinfo"), "/dev/" + loop.loopName);
        if (existing) {
            mounted.ok = true;
            mounted.mountPoint = *existing;
        }
    }
    if (!mounted.ok) {
        udisks_.LoopDelete(loop.loopName);
        return mounted;
    }
    method_ = Method::UDisks2;
    loopName_ = loop.loopName;
    folder_ = mounted.mountPoint;
    return mounted;
}

void ImageMount::MountPrivately(int imageFd, const std::string& root) {
    Loop loop = AttachLoop(imageFd);
    if (!loop.fd) {
        error_ = loop.error;
        return;
    }
    ::mkdir(root.c_str(), 0700);
    std::string folder = root + "/image-XXXXXX";
    if (!::mkdtemp(folder.data())) {
        error_ = root + ": " + ErrorText(errno);
        return;
    }
    std::string answers;
    for (const char* fsType : kDiscFileSystems) {
        const int error = calls_->Mount(loop.node, folder, fsType, kReadOnlyFlags);
        if (error == 0) {
            method_ = Method::Syscall;
            folder_ = std::move(folder);
            return;
        }
        answers += std::string(answers.empty() ? "" : ", ") + fsType + ": " + ErrorText(error);
        if (error == EPERM || error == EACCES) break;  // no other file system will do better
    }
    ::rmdir(folder.c_str());
    error_ = "mount(2) of " + loop.node + " (" + answers + ")";
}

void ImageMount::Release() {
    switch (std::exchange(method_, Method::None)) {
        case Method::None:
            return;
        case Method::UDisks2: {
            const UDisks2Client::Result unmounted = udisks_.Unmount(loopName_);
            // A loop device deleted while still mounted goes once the mount does.
            const UDisks2Client::Result deleted = udisks_.LoopDelete(loopName_);
            for (const UDisks2Client::Result* result : {&unmounted, &deleted}) {
                if (!result->ok) {
                    std::fprintf(stderr, "dravolin: %s (%s) could not be let go: UDisks2: %s\n",
                                 folder_.c_str(), loopName_.c_str(), result->Text().c_str());
                }
            }
            return;
        }
        case Method::Syscall: {
            // Not detached: a detached mount would keep the loop device, and with it the
            // image, for as long as anything still reads it, unseen by the caller.
            int error = calls_->Unmount(folder_, 0);
            for (int attempt = 1; error == EBUSY && attempt < kUnmountAttempts; ++attempt) {
                std::this_thread::sleep_for(kUnmountRecheck);
                error = calls_->Unmount(folder_, 0);
            }
            if (error != 0) {
                std::fprintf(stderr, "dravolin: %s stays mounted: %s\n", folder_.c_str(),
                             ErrorText(error).c_str());
                return;
            }
            ::rmdir(folder_.c_str());
            return;
        }
    }
}

}  // namespace dravolin::lnx

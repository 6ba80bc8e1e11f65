#pragma once
#include <chrono>
#include <memory>
#include <string>
#include "platform/linux/mount/DiscMounter.h"
#include "platform/linux/mount/UDisks2Client.h"

namespace dravolin::lnx {

// A disc image's file system mounted read-only for as long as this lives, so that its files can
// be read as a disc's are, with no drive. The kernel mounts only block devices: the image is
// bound to a loop device first, which goes with the mount.
class ImageMount {
  public:
    struct Options {
        std::string busAddress;  // empty: the system bus
        bool useUDisks2 = true;
        std::string privateMountRoot;  // empty: as DiscMounter's (PrivateMountRoot)
        // How long a new loop device may stay unknown to UDisks2 (udev has not probed it yet)
        // before the mount counts as failed.
        std::chrono::milliseconds udisksLearnsLoop = std::chrono::seconds(5);
    };
    // Mounts the ISO 9660 or UDF image open at `imageFd` (read from only; the caller keeps the
    // descriptor): through UDisks2, the desktop user's way, which needs no root; where the
    // service is absent, or refuses root, with a loop device and mount(2) in a private folder.
    // On failure ok() is false and Error() says why in one line, in the system's words. A
    // worker's call may wait for the service and for a password it asks of the user.
    static ImageMount Mount(int imageFd, const Options& options,
                            std::shared_ptr<MountCalls> calls = std::make_shared<MountCalls>());

    ImageMount(ImageMount&& other) noexcept;
    ImageMount& operator=(ImageMount&& other) noexcept;
    ImageMount(const ImageMount&) = delete;
    ImageMount& operator=(const ImageMount&) = delete;
    // Unmounts, lets go of the loop device and removes the folder it made.
    ~ImageMount();

    bool ok() const { return method_ != Method::None; }
    // Where the image's files are, while ok().
    const std::string& Folder() const { return folder_; }
    const std::string& Error() const { return error_; }

  private:
    enum class Method { None, UDisks2, Syscall };
    ImageMount(const Options& options, std::shared_ptr<MountCalls> calls);
    UDisks2Client::Result MountThroughUDisks2(int imageFd, std::chrono::milliseconds learns);
    void MountPrivately(int imageFd, const std::string& root);
    void Release();

    Method method_ = Method::None;
    std::string folder_;
    std::string error_;
    std::string loopName_;  // the loop device UDisks2 made, e.g. "loop3"
    UDisks2Client udisks_;
    std::shared_ptr<MountCalls> calls_;
};

}  // namespace dravolin::lnx

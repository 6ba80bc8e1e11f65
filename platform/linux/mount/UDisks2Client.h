#pragma once
#include <chrono>
#include <string>

namespace dravolin::lnx {

// Mounts and unmounts block devices through the UDisks2 service, the desktop's own way: a user
// of the active session may mount a disc without root. Each call uses a private connection of
// its own, so the client can be used from any thread. A worker's call may wait for the disc and
// for a password the system asks of the user; a call on the UI thread (the double click's eject)
// asks for no password and waits a second at most.
class UDisks2Client {
  public:
    // `busAddress` empty means the system bus (honouring DBUS_SYSTEM_BUS_ADDRESS).
    explicit UDisks2Client(std::string busAddress = {}) : address_(std::move(busAddress)) {}

    struct Result {
        bool ok = false;
        bool serviceAbsent = false;  // no bus, or no UDisks2 on it
        bool alreadyMounted = false;
        // The service has no file system on the device (yet): it learns of a new disc only
        // after udev has probed it, which can be after the drive reports the disc ready.
        bool noFilesystem = false;
        bool notAuthorized = false;  // the system's policy refused this user
        std::string mountPoint;      // of a successful Mount
        std::string loopName;        // of a successful LoopSetup: the loop's kernel name
        std::string errorName;       // the D-Bus error's name when !ok
        std::string error;           // the service's message when !ok

        // "name: message", for the error output.
        std::string Text() const { return errorName.empty() ? error : errorName + ": " + error; }
    };
    // How often to ask again while the service has not learnt of a new device's file system.
    static constexpr std::chrono::milliseconds kRecheck{250};

    // The result of a call the service answered with the D-Bus error `name`.
    static Result Failed(const std::string& name, const std::string& message);
    // Filesystem.Mount of the block device `kernelName` (e.g. "sr0") with mount `options`.
    Result Mount(const std::string& kernelName, const std::string& options);
    // Filesystem.Unmount of the block device.
    Result Unmount(const std::string& kernelName);
    // Manager.LoopSetup: a read-only loop device backed by the file open at `fd` (the caller
    // keeps it), named in `loopName` (e.g. "loop3").
    Result LoopSetup(int fd);
    // Loop.Delete of the loop device `kernelName`.
    Result LoopDelete(const std::string& kernelName);

    // The object path UDisks2 gives a block device: non-alphanumeric bytes become _xx.
    static std::string BlockObjectPath(const std::string& kernelName);

  private:
    std::string address_;
};

}  // namespace dravolin::lnx

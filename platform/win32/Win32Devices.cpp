#include "platform/win32/Win32Devices.h"

#include <vector>
#include <winioctl.h>
#include "platform/Types.h"
#include "platform/win32/Win32Runtime.h"

namespace dravolin::win32 {

namespace {

// "\\.\E:\" -> "E:\"; anything else unchanged.
std::string LetterRootOf(const std::string& root) {
    const std::string prefix = "\\\\.\\";
    if (root.size() == prefix.size() + 3 && root.compare(0, prefix.size(), prefix) == 0 &&
        root[prefix.size() + 1] == ':') {
        return root.substr(prefix.size());
    }
    return root;
}

}  // namespace

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

Win32Volumes::Win32Volumes() : underWine_(RunningUnderWine()) {}

// Windows answers for the device root "\\.\E:\" as for "E:\". Wine answers for the letter form from
// its drive configuration, but for the device root from whatever is mounted at the drive
// letter's folder: a fixed disk for a drive backed by a folder, and for a drive backed by a real
// CD drive a CD-ROM only while a disc is mounted, "no root directory" while the drive is empty.
// Asked that way, an empty drive would not be listed; under Wine alone the letter form is asked.
std::uint32_t Win32Volumes::GetDriveType(const std::string& root) {
    const std::string asked = underWine_ ? LetterRootOf(root) : root;
    return ::GetDriveTypeA(asked.c_str());
}

Volumes::Info Win32Volumes::GetVolumeInformation(const std::string& root,
                                                 std::uint32_t labelCapacity) {
    Info info;
    std::vector<char> label(labelCapacity > 0 ? labelCapacity : 1, '\0');
    DWORD serial = 0;
    info.ok = ::GetVolumeInformationA(root.c_str(), label.data(), labelCapacity, &serial, nullptr,
                                      nullptr, nullptr, 0) != FALSE;
    if (info.ok) {
        label.back() = '\0';
        info.label = label.data();
        info.serial = serial;
    }
    return info;
}

// Under Wine a drive letter backed by a Linux CD drive differs from Windows in three ways, and
// each command makes up for one:
// - Wine answers the media test from the drive, but the disc's files are reachable only once the
//   desktop has mounted the disc at the folder of the drive letter, which can come seconds
//   later; a copy started before finds no files and the disc would be ejected uncopied. Wine
//   reports the type of the device root from what is mounted at that folder, so the disc
//   counts as present once that is a CD-ROM's file system.
// - Wine answers the disk class's eject and load codes with ERROR_NOT_SUPPORTED: Windows' CD-ROM
//   driver takes them as its own, Wine knows only the storage class's codes for them.
// - A mounted disc's door is locked (by the mount, and by udev whenever a disc arrives), which
//   Windows does not do: the eject is refused until the file system is dismounted (Wine unmounts
//   it) and removal allowed again, Windows' own sequence for ejecting removable media.
bool Win32Device::Control(std::uint32_t code) {
    if (!wineRoot_.empty()) {
        if (code == win::kIoctlDiskCheckVerify) {
            return Issue(code, nullptr, 0) && ::GetDriveTypeA(wineRoot_.c_str()) == DRIVE_CDROM;
        }
        if (code == win::kIoctlDiskEjectMedia) return EjectUnderWine();
        if (code == win::kIoctlDiskLoadMedia) code = IOCTL_STORAGE_LOAD_MEDIA;
    }
    return Issue(code, nullptr, 0);
}

bool Win32Device::Issue(std::uint32_t code, void* input, std::uint32_t inputSize) {
    DWORD returned = 0;
    return ::DeviceIoControl(handle_.Get(), code, input, inputSize, nullptr, 0, &returned,
                             nullptr) != FALSE;
}

bool Win32Device::EjectUnderWine() {
    // Each step may fail when there is nothing to do (no file system mounted, door not locked);
    // the eject's own result is the answer.
    Issue(FSCTL_DISMOUNT_VOLUME, nullptr, 0);
    PREVENT_MEDIA_REMOVAL allow{};
    allow.PreventMediaRemoval = FALSE;
    // Linux refuses to eject (and an unprivileged user to unlock) a drive that another process
    // has open, and right after the dismount others may, for a moment: the desktop's disc
    // probes, Wine's mount manager following the unmount. A refused eject would leave the disc
    // dismounted in the drive, never to be copied or ejected: the worker asks again a while.
    return AskWhileRefused([&] {
        Issue(IOCTL_STORAGE_MEDIA_REMOVAL, &allow, sizeof(allow));
        if (Issue(IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0)) return Answer::Done;
        // A drive that cannot eject at all (a drive letter backed by a folder) is not asked
        // again.
        return ::GetLastError() == ERROR_NOT_SUPPORTED ? Answer::Final : Answer::Refused;
    });
}

bool AskWhileRefused(const std::function<Answer()>& attempt) {
    const int attempts = OnWorkerThread() ? kEjectAttemptsOnWorker : kEjectAttemptsOnUiThread;
    for (int tried = 0; tried < attempts; ++tried) {
        if (tried > 0) ::Sleep(kEjectPauseMs);
        const Answer answer = attempt();
        if (answer != Answer::Refused) return answer == Answer::Done;
    }
    return false;
}

Win32DeviceControl::Win32DeviceControl() : underWine_(RunningUnderWine()) {}

std::unique_ptr<Device> Win32DeviceControl::Open(const std::string& path, std::uint32_t access,
                                                 std::uint32_t share, std::uint32_t disposition) {
    UniqueHandle handle(
        ::CreateFileA(path.c_str(), access, share, nullptr, disposition, 0, nullptr));
    if (!handle.Valid()) return nullptr;
    return std::make_unique<Win32Device>(std::move(handle),
                                         underWine_ ? path + "\\" : std::string());
}

}  // namespace dravolin::win32

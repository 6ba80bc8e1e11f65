#include "platform/win32/Win32Devices.h"

#include <vector>

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

// Windows answers for the device root "\\.\E:\" as for "E:\". Wine finds a drive's type through
// its mount manager by the drive letter, which it takes from the first character of the path,
// and so reports every device root as a fixed disk; under Wine alone the letter form is asked.
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

bool Win32Device::Control(std::uint32_t code) {
    DWORD returned = 0;
    return ::DeviceIoControl(handle_.Get(), code, nullptr, 0, nullptr, 0, &returned, nullptr) !=
           FALSE;
}

std::unique_ptr<Device> Win32DeviceControl::Open(const std::string& path, std::uint32_t access,
                                                 std::uint32_t share, std::uint32_t disposition) {
    UniqueHandle handle(
        ::CreateFileA(path.c_str(), access, share, nullptr, disposition, 0, nullptr));
    if (!handle.Valid()) return nullptr;
    return std::make_unique<Win32Device>(std::move(handle));
}

}  // namespace dravolin::win32

// The probe's own device commands, made the way Dravolin.exe makes them ("\\.\X:" opened for
// reading, shared for reading and writing, one handle per command), so that what Wine carries
// of each can be measured on the real drives.
#include <cstdlib>
#include <string>
#include <vector>
#include "platform/win32/Win32Api.h"

#include <winioctl.h>

#include "Json.h"

namespace dravolin::wineprobe {

namespace {

std::string VolumeJson(const std::string& root) {
    char label[MAX_PATH + 1] = {};
    char fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0;
    const BOOL ok = ::GetVolumeInformationA(root.c_str(), label, MAX_PATH + 1, &serial, nullptr,
                                            nullptr, fileSystem, MAX_PATH + 1);
    return Json()
        .Field("ok", ok != FALSE)
        .Field("error", static_cast<long long>(ok ? 0 : ::GetLastError()))
        .Field("label", label)
        .Field("serial", static_cast<long long>(serial))
        .Field("file_system", fileSystem)
        .Field("attributes", static_cast<long long>(::GetFileAttributesA(root.c_str())))
        .Text();
}

}  // namespace

std::string TypeAnswer(char letter) {
    const std::string shellRoot = std::string(1, letter) + ":\\";
    const std::string deviceRoot = "\\\\.\\" + shellRoot;
    return Json()
        .Field("ok", true)
        .Field("shell_root", static_cast<long long>(::GetDriveTypeA(shellRoot.c_str())))
        .Field("device_root", static_cast<long long>(::GetDriveTypeA(deviceRoot.c_str())))
        .Raw("shell_volume", VolumeJson(shellRoot))
        .Raw("device_volume", VolumeJson(deviceRoot))
        .Text();
}

std::string IoctlAnswer(char letter, const std::vector<std::string>& codes) {
    const std::string path = "\\\\.\\" + std::string(1, letter) + ":";
    std::string results = "[";
    for (const std::string& word : codes) {
        DWORD code = 0;
        PREVENT_MEDIA_REMOVAL allow{};
        allow.PreventMediaRemoval = FALSE;
        void* in = nullptr;
        DWORD inSize = 0;
        if (word == "dismount") {
            code = FSCTL_DISMOUNT_VOLUME;
        } else if (word == "allow") {
            code = IOCTL_STORAGE_MEDIA_REMOVAL;
            in = &allow;
            inSize = sizeof(allow);
        } else {
            code = static_cast<DWORD>(std::strtoul(word.c_str(), nullptr, 0));
        }
        Json result;
        result.Field("code", static_cast<long long>(code));
        HANDLE device =
            ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE) {
            result.Field("opened", false).Field("error", static_cast<long long>(::GetLastError()));
        } else {
            DWORD returned = 0;
            const BOOL ok =
                ::DeviceIoControl(device, code, in, inSize, nullptr, 0, &returned, nullptr);
            result.Field("opened", true)
                .Field("ok", ok != FALSE)
                .Field("error", static_cast<long long>(ok ? 0 : ::GetLastError()));
            ::CloseHandle(device);
        }
        results += (results.size() > 1 ? "," : "") + result.Text();
    }
    return Json().Field("ok", true).Raw("results", results + "]").Text();
}

}  // namespace dravolin::wineprobe

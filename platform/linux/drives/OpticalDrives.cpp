#include "platform/linux/drives/OpticalDrives.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>

namespace dravolin::lnx {

namespace {

constexpr char kFirstLetter = 'D';
constexpr char kLastLetter = 'Z';
constexpr int kScsiTypeRom = 5;

std::string ReadFirstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

bool IsSrName(const std::string& name) {
    return name.size() > 2 && name.compare(0, 2, "sr") == 0 &&
           std::all_of(name.begin() + 2, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Device order: the name's letters, then its number as a number (sr2 before sr10).
std::tuple<std::string, unsigned long, std::string> OrderKey(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    const std::string number = name.substr(digits);
    unsigned long value = 0;
    for (char c : number.substr(0, 9)) value = value * 10 + static_cast<unsigned long>(c - '0');
    return {name.substr(0, digits), value, name};
}

// The drive's serial number as the desktop shows it: what udev read from the drive when it
// appeared, kept in its database under the device's number ("b11:0").
std::string UdevSerial(const SystemRoots& roots, const std::filesystem::path& block) {
    const std::string number = ReadFirstLine(block / "dev");
    if (number.empty()) return {};
    std::ifstream in(std::filesystem::path(roots.udevData) / ("b" + number));
    std::string line, serial;
    while (std::getline(in, line)) {
        if (line.rfind("E:ID_SERIAL_SHORT=", 0) == 0) return line.substr(18);
        if (line.rfind("E:ID_SERIAL=", 0) == 0) serial = line.substr(12);
    }
    return serial;
}

}  // namespace

std::vector<OpticalDrive> ScanOpticalDrives(const SystemRoots& roots) {
    namespace fs = std::filesystem;
    std::vector<OpticalDrive> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(roots.sys) / "block", error)) {
        const std::string name = entry.path().filename().string();
        const std::string type = ReadFirstLine(entry.path() / "device" / "type");
        if (!IsSrName(name) && type != std::to_string(kScsiTypeRom)) continue;
        OpticalDrive drive;
        drive.name = name;
        drive.deviceNode = (fs::path(roots.dev) / name).string();
        drive.model = ReadFirstLine(entry.path() / "device" / "model");
        drive.serial = UdevSerial(roots, entry.path());
        found.push_back(std::move(drive));
    }
    std::sort(found.begin(), found.end(), [](const OpticalDrive& a, const OpticalDrive& b) {
        return OrderKey(a.name) < OrderKey(b.name);
    });
    const std::size_t letters = kLastLetter - kFirstLetter + 1;
    if (found.size() > letters) found.resize(letters);
    for (std::size_t i = 0; i < found.size(); ++i) {
        found[i].letter = static_cast<char>(kFirstLetter + static_cast<int>(i));
    }
    return found;
}

OpticalDrives::OpticalDrives(const SystemRoots& roots) : drives_(ScanOpticalDrives(roots)) {}

const OpticalDrive* OpticalDrives::Find(char letter) const {
    for (const auto& drive : drives_) {
        if (drive.letter == letter) return &drive;
    }
    return nullptr;
}

}  // namespace dravolin::lnx

#include "platform/fake/FakeMachine.h"

#include <stdexcept>
#include "platform/Types.h"
#include "platform/fake/FakePaths.h"

namespace dravolin::fake {

// An open device: every control goes to the machine under its lock; closing is logged.
class FakeMachine::Handle : public Device {
  public:
    Handle(FakeMachine& machine, std::string path, char letter)
        : machine_(machine), path_(std::move(path)), letter_(letter) {}
    ~Handle() override { machine_.log_.Add("CloseHandle " + path_); }
    bool Control(std::uint32_t code) override {
        machine_.log_.Add("DeviceIoControl " + path_ + " " + Hex(code));
        std::lock_guard lock(machine_.mutex_);
        return machine_.ControlLocked(letter_, code);
    }

  private:
    FakeMachine& machine_;
    std::string path_;
    char letter_;
};

FakeMachine::FakeMachine(CallLog& log) : log_(log) {}

// --- Drives ---

FakeDrive& FakeMachine::AddDrive(char letter, std::uint32_t driveType) {
    std::lock_guard lock(mutex_);
    letter = UpperAscii(letter);
    FakeDrive& drive = drives_[letter];
    drive.letter = letter;
    drive.driveType = driveType;
    return drive;
}

void FakeMachine::WithDrive(char letter, const std::function<void(FakeDrive&)>& change) {
    std::lock_guard lock(mutex_);
    FakeDrive* drive = FindDrive(letter);
    if (drive == nullptr) throw std::logic_error("no fake drive " + std::string(1, letter));
    change(*drive);
}

FakeDrive FakeMachine::DriveSnapshot(char letter) const {
    std::lock_guard lock(mutex_);
    const FakeDrive* drive = FindDrive(letter);
    if (drive == nullptr) throw std::logic_error("no fake drive " + std::string(1, letter));
    return *drive;
}

void FakeMachine::InsertDisc(char letter, FakeDisc disc) {
    WithDrive(letter, [&](FakeDrive& drive) { drive.disc = std::move(disc); });
}

void FakeMachine::RemoveDisc(char letter) {
    WithDrive(letter, [](FakeDrive& drive) { drive.disc.reset(); });
}

FakeDrive* FakeMachine::FindDrive(char letter) {
    auto it = drives_.find(UpperAscii(letter));
    return it == drives_.end() ? nullptr : &it->second;
}

const FakeDrive* FakeMachine::FindDrive(char letter) const {
    auto it = drives_.find(UpperAscii(letter));
    return it == drives_.end() ? nullptr : &it->second;
}

bool FakeMachine::ControlLocked(char letter, std::uint32_t code) {
    FakeDrive* drive = FindDrive(letter);
    if (drive == nullptr || drive->controlFails) return false;
    switch (code) {
        case win::kIoctlDiskCheckVerify:
            if (!drive->disc || drive->trayOpen) return false;
            // A drive spinning up fails the media test a number of times, then is ready.
            if (drive->notReadyChecks > 0) {
                --drive->notReadyChecks;
                return false;
            }
            return true;
        case win::kIoctlDiskEjectMedia:
            drive->trayOpen = true;
            return true;
        case win::kIoctlDiskLoadMedia:
            drive->trayOpen = false;
            return true;
        default:
            return false;
    }
}

// --- Volumes ---

std::uint32_t FakeMachine::GetDriveType(const std::string& root) {
    log_.Add("GetDriveTypeA " + root);
    constexpr std::uint32_t kDriveNoRootDir = 1;
    constexpr std::uint32_t kDriveFixed = 3;
    const char letter = RootLetter(root);
    std::lock_guard lock(mutex_);
    if (const FakeDrive* drive = FindDrive(letter); letter != 0 && drive != nullptr) {
        return drive->driveType;
    }
    return volumes_.count(letter) != 0 ? kDriveFixed : kDriveNoRootDir;
}

Volumes::Info FakeMachine::GetVolumeInformation(const std::string& root,
                                                std::uint32_t labelCapacity) {
    log_.Add("GetVolumeInformationA " + root);
    const char letter = RootLetter(root);
    std::lock_guard lock(mutex_);
    const FakeDrive* drive = letter != 0 ? FindDrive(letter) : nullptr;
    if (drive == nullptr || !drive->Readable()) return Info{};
    Info info;
    info.ok = true;
    info.label = drive->disc->label.substr(0, labelCapacity == 0 ? 0 : labelCapacity - 1);
    info.serial = drive->disc->serial;
    return info;
}

// --- DeviceControl ---

std::unique_ptr<Device> FakeMachine::Open(const std::string& path, std::uint32_t access,
                                          std::uint32_t share, std::uint32_t disposition) {
    log_.Add("CreateFileA " + path + " " + Hex(access) + " " + std::to_string(share) + " " +
             std::to_string(disposition));
    const char letter = DeviceLetter(path);
    std::lock_guard lock(mutex_);
    const FakeDrive* drive = letter != 0 ? FindDrive(letter) : nullptr;
    if (drive == nullptr || drive->openFails) return nullptr;
    return std::make_unique<Handle>(*this, path, letter);
}

}  // namespace dravolin::fake

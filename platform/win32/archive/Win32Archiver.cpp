#include "platform/win32/archive/Win32Archiver.h"

#include <chrono>
#include <memory>
#include <optional>
#include "archive/BagName.h"
#include "archive/BagText.h"
#include "platform/win32/Win32Api.h"
// After windows.h, which it needs.
#include <ntddcdrm.h>
#include "platform/win32/archive/LocalClock.h"
#include "platform/win32/archive/TargetClaims.h"
#include "platform/win32/archive/Win32ArchivePage.h"
#include "platform/win32/archive/WideText.h"

namespace dravolin::win32 {

namespace {

using archive::DiscResult;

// Where nobody is shown anything, the copy still runs.
class Unseen : public ArchiveProgress {
  public:
    bool OnProgress(std::uint64_t, std::uint64_t, const std::wstring&) override { return true; }
};

// A label that is not UTF-8 came from the row, in the ANSI code page.
std::string LabelUtf8(const std::string& label) {
    bool valid = false;
    WideFromUtf8(label, &valid);
    return valid ? label : Utf8FromWide(WideFromAnsi(label));
}

// A claim is the handle that holds its lock.
class HandleClaim : public Archiver::Claim {
  public:
    explicit HandleClaim(UniqueHandle file) : file_(std::move(file)) {}

  private:
    UniqueHandle file_;
};

// Whether the drive's table of contents lists audio tracks alone. Windows shows such a disc as
// a volume of .cda stubs, which a bag would take for the disc: this build does not rip audio, so
// it must not call that archived. False where the table cannot be had: the volume decides.
bool AudioTracksAlone(char letter) {
    const std::wstring device = {L'\\', L'\\', L'.', L'\\', static_cast<wchar_t>(letter), L':'};
    const UniqueHandle drive(::CreateFileW(device.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!drive.Valid()) return false;
    CDROM_TOC toc{};
    DWORD returned = 0;
    if (!::DeviceIoControl(drive.Get(), IOCTL_CDROM_READ_TOC, nullptr, 0, &toc, sizeof toc,
                           &returned, nullptr) ||
        toc.LastTrack < toc.FirstTrack) {
        return false;
    }
    const int tracks = toc.LastTrack - toc.FirstTrack + 1;
    for (int i = 0; i < tracks && i < MAXIMUM_NUMBER_TRACKS; ++i) {
        if (toc.TrackData[i].Control & 0x04) return false;  // a data track
    }
    return true;
}

}  // namespace

std::wstring Win32Archiver::TargetOf(const std::string& folder) {
    std::wstring target = WideFromAnsi(folder);
    while (target.size() > 1 && (target.back() == L'\\' || target.back() == L'/')) {
        target.pop_back();
    }
    if (target.size() == 2 && target[1] == L':') target.push_back(L'\\');
    return target;
}

BagFields Win32Archiver::DriveFields(const Bag& bag, const std::string& labelUtf8) {
    BagFields fields = {{"Dravolin-Drive", std::string(1, bag.letter) + ":"},
                        {"Dravolin-Volume-Label", labelUtf8},
                        {"Dravolin-Fingerprint", archive::SerialText(bag.fingerprint)}};
    if (!bag.identity.empty()) fields.emplace_back(archive::kFieldIdentity, bag.identity);
    fields.emplace_back("Dravolin-Started", archive::IsoText(bag.start));
    return fields;
}

std::unique_ptr<Archiver::Target> Win32Archiver::OpenTarget(const std::string& folder) {
    return std::make_unique<FolderTarget>(*this, folder);
}

std::string Win32Archiver::FolderTarget::ReadLog() {
    return target_.empty() ? std::string() : ReadLogFile(target_);
}

bool Win32Archiver::FolderTarget::AppendLog(const archive::LogRow& row) {
    return !target_.empty() && AppendLogRow(target_, row, archiver_.parts_.logWrite);
}

// The folder in the program's ANSI form, as the notification's sentence takes it.
std::string Win32Archiver::FolderTarget::LogFileName() {
    std::string path = folder_;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path + "\\" + std::string(archive::kLogFileName);
}

std::vector<Archiver::BagInfoText> Win32Archiver::FolderTarget::ReadBagInfos() {
    return target_.empty() ? std::vector<BagInfoText>() : win32::ReadBagInfos(target_);
}

std::unique_ptr<Archiver::Claim> Win32Archiver::FolderTarget::ClaimDisc(
    const std::string& identity) {
    if (target_.empty()) return nullptr;
    UniqueHandle file = win32::ClaimDisc(target_, identity);
    if (!file.Valid()) return nullptr;
    return std::make_unique<HandleClaim>(std::move(file));
}

// Asked of the file system itself, which knows whether two names differ by letter case only.
// A name that cannot be looked at counts as taken: the next one is tried, nothing is replaced.
static bool NameTakenIn(const std::wstring& target, const std::string& name) {
    bool valid = false;
    const std::wstring wideName = WideFromUtf8(name, &valid);
    if (target.empty() || !valid || wideName.empty()) return true;
    if (::GetFileAttributesW(LongPath(JoinPath(target, wideName)).c_str()) !=
        INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool Win32Archiver::FolderTarget::NameTaken(const std::string& name) {
    return NameTakenIn(target_, name);
}

void Win32Archiver::FolderTarget::WritePage(const archive::PageTexts& texts) {
    if (!target_.empty()) WriteArchivePage(target_, texts);
}

archive::LocalTime Win32Archiver::Now() {
    return LocalNow();
}

// Worker thread: the drive is asked now, whatever the row learnt before. A drive without a
// readable volume gives no identity: what the row still shows may be the disc before it, which
// must not make this one "already archived".
std::optional<Archiver::DiscIdentity> Win32Archiver::ReadDisc(char letter) {
    const std::wstring root = {L'\\', L'\\', L'.', L'\\', static_cast<wchar_t>(letter),
                               L':',  L'\\'};
    wchar_t label[MAX_PATH + 1] = {};
    DWORD serial = 0;
    if (!::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr,
                                 nullptr, 0)) {
        return DiscIdentity{};
    }
    return DiscIdentity{Utf8FromWide(label), serial,
                        VolumeDigest({static_cast<wchar_t>(letter), L':', L'\\'})};
}

// Worker thread.
Archiver::BagOutcome Win32Archiver::FolderTarget::BuildBag(const Bag& bag) {
    return archiver_.BuildBag(bag, target_);
}

Archiver::BagOutcome Win32Archiver::BuildBag(const Bag& bag, const std::wstring& target) {
    BagOutcome outcome;
    if (target.empty() || !parts_.writers || bag.letter == 0) return outcome;
    const std::wstring root = {static_cast<wchar_t>(bag.letter), L':', L'\\'};
    // The drive said it holds a disc; one whose volume cannot be read is blank, audio or has a
    // file system Windows does not know: no bag, a log row only.
    if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) ||
        AudioTracksAlone(bag.letter)) {
        outcome.result = DiscResult::NoFileSystem;
        return outcome;
    }

    const std::string label = LabelUtf8(bag.label);
    // Most of the user's fields are BagIt's standard ones: they go beside the others.
    BagFields fields = bag.userFields;
    const BagFields own = DriveFields(bag, label);
    fields.insert(fields.end(), own.begin(), own.end());
    BagRequest request{root, target, label, std::move(fields)};
    if (bag.timeBudgetSeconds > 0) {
        request.readUntil =
            std::chrono::steady_clock::now() + std::chrono::seconds(bag.timeBudgetSeconds);
    }
    // The window goes before the outcome is told: the log row follows at once.
    std::unique_ptr<ArchiveProgress> progress =
        parts_.desk ? parts_.desk->OpenProgress(bag.owner, bag.letter, WideFromUtf8(label))
                    : nullptr;
    if (!progress) progress = std::make_unique<Unseen>();
    const std::unique_ptr<BagWriting> writer = parts_.writers();
    if (!writer) return outcome;
    const win32::BagOutcome built = writer->Build(request, *progress);
    progress.reset();
    outcome.files = built.files;
    outcome.bytes = built.bytes;
    outcome.damagedFiles = built.damagedFiles;
    outcome.budgetSpent = built.budgetSpent;
    const DiscResult result = archive::BuiltResult(
        built.result != BagResult::Failed, built.result == BagResult::Complete, built.targetFull);
    if (built.result == BagResult::Failed) {
        outcome.result = result;
        return outcome;
    }
    const archive::NameTaken taken = [&](const std::string& name) {
        return NameTakenIn(target, name);
    };
    unsigned long error = 0;
    const archive::Publishing published =
        archive::PublishBag(bag.name, result, taken, [&](const std::string& name) {
            bool valid = false;
            const std::wstring wideName = WideFromUtf8(name, &valid);
            if (!valid || wideName.empty()) return archive::Published::Failed;
            return writer->Publish(wideName, &error);
        });
    if (published.answer == archive::Published::Done) {
        outcome.result = result;
        outcome.folderName = published.name;
    } else {
        outcome.result = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL
                             ? DiscResult::TargetFull
                             : DiscResult::Failed;
    }
    return outcome;
}

void Win32Archiver::Notify(Urgency urgency, const std::string& text) {
    if (parts_.desk) parts_.desk->Notify(urgency == Urgency::NeedsPerson, WideFromMixed(text));
}

}  // namespace dravolin::win32

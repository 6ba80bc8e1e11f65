#include "platform/fake/FakeArchiver.h"
#include <utility>
#include "archive/ArchiveLog.h"
#include "archive/BagName.h"
#include "platform/fake/Ascii.h"

namespace dravolin::fake {

FakeArchiver::FakeArchiver(CallLog& log) : log_(log) {}

void FakeArchiver::SetLogText(const std::string& folder, std::string text) {
    const std::lock_guard lock(mutex_);
    logs_[folder] = std::move(text);
}

std::string FakeArchiver::LogText(const std::string& folder) const {
    const std::lock_guard lock(mutex_);
    const auto it = logs_.find(folder);
    return it == logs_.end() ? std::string() : it->second;
}

void FakeArchiver::TakeName(const std::string& folder, const std::string& name) {
    const std::lock_guard lock(mutex_);
    taken_.emplace(folder, UpperAscii(name));
}

void FakeArchiver::ScriptBag(std::uint32_t fingerprint, FakeBagScript script) {
    const std::lock_guard lock(mutex_);
    scripts_[fingerprint] = script;
}

void FakeArchiver::SetClock(archive::LocalTime now) {
    const std::lock_guard lock(mutex_);
    now_ = now;
}

std::vector<Archiver::Bag> FakeArchiver::Bags() const {
    const std::lock_guard lock(mutex_);
    return bags_;
}

std::string FakeArchiver::ReadLog(const std::string& folder) {
    log_.Add("ReadLog " + folder);
    return LogText(folder);
}

void FakeArchiver::AddBagInfo(const std::string& folder, const std::string& name,
                              std::string text) {
    const std::lock_guard lock(mutex_);
    bagInfos_[folder].push_back({name, std::move(text)});
    taken_.emplace(folder, UpperAscii(name));
}

void FakeArchiver::SetLogWritable(bool writable) {
    const std::lock_guard lock(mutex_);
    logWritable_ = writable;
}

void FakeArchiver::OnClaim(std::function<void()> granted) {
    const std::lock_guard lock(mutex_);
    onClaim_ = std::move(granted);
}

std::string FakeArchiver::LogFileName(const std::string& folder) {
    return folder + std::string(archive::kLogFileName);
}

std::vector<Archiver::BagInfoText> FakeArchiver::ReadBagInfos(const std::string& folder) {
    const std::lock_guard lock(mutex_);
    const auto it = bagInfos_.find(folder);
    return it == bagInfos_.end() ? std::vector<BagInfoText>() : it->second;
}

namespace {

class LoggedClaim : public Archiver::Claim {
  public:
    LoggedClaim(CallLog& log, std::string identity) : log_(log), identity_(std::move(identity)) {
        log_.Add("Claim " + identity_);
    }
    ~LoggedClaim() override { log_.Add("Release " + identity_); }
    LoggedClaim(const LoggedClaim&) = delete;
    LoggedClaim& operator=(const LoggedClaim&) = delete;

  private:
    CallLog& log_;
    std::string identity_;
};

// The fake's own calls for one folder.
class FakeTarget : public Archiver::Target {
  public:
    FakeTarget(FakeArchiver& archiver, std::string folder)
        : archiver_(archiver), folder_(std::move(folder)) {}

    std::string ReadLog() override { return archiver_.ReadLog(folder_); }
    bool AppendLog(const archive::LogRow& row) override {
        return archiver_.AppendLog(folder_, row);
    }
    std::string LogFileName() override { return archiver_.LogFileName(folder_); }
    std::vector<Archiver::BagInfoText> ReadBagInfos() override {
        return archiver_.ReadBagInfos(folder_);
    }
    std::unique_ptr<Archiver::Claim> ClaimDisc(const std::string& identity) override {
        return archiver_.ClaimDisc(identity);
    }
    bool NameTaken(const std::string& name) override { return archiver_.NameTaken(folder_, name); }
    Archiver::BagOutcome BuildBag(const Archiver::Bag& bag) override {
        return archiver_.BuildBag(folder_, bag);
    }
    void WritePage(const archive::PageTexts& texts) override {
        archiver_.WritePage(folder_, texts);
    }

  private:
    FakeArchiver& archiver_;
    std::string folder_;
};

}  // namespace

std::unique_ptr<Archiver::Target> FakeArchiver::OpenTarget(const std::string& folder) {
    return std::make_unique<FakeTarget>(*this, folder);
}

std::unique_ptr<Archiver::Claim> FakeArchiver::ClaimDisc(const std::string& identity) {
    auto claim = std::make_unique<LoggedClaim>(log_, identity);
    std::function<void()> granted;
    {
        const std::lock_guard lock(mutex_);
        granted = std::exchange(onClaim_, nullptr);
    }
    if (granted) granted();
    return claim;
}

bool FakeArchiver::AppendLog(const std::string& folder, const archive::LogRow& row) {
    log_.Add("AppendLog " + folder);
    const std::lock_guard lock(mutex_);
    if (!logWritable_) return false;
    logs_[folder] += archive::AppendText(logs_[folder], row);
    taken_.emplace(folder, UpperAscii(std::string(archive::kLogFileName)));
    return true;
}

bool FakeArchiver::NameTaken(const std::string& folder, const std::string& name) {
    const std::lock_guard lock(mutex_);
    return TakenLocked(folder, name);
}

bool FakeArchiver::TakenLocked(const std::string& folder, const std::string& name) const {
    return taken_.count({folder, UpperAscii(name)}) != 0;
}

void FakeArchiver::SetDisc(char letter, DiscIdentity disc) {
    const std::lock_guard lock(mutex_);
    discs_[letter] = std::move(disc);
}

std::optional<Archiver::DiscIdentity> FakeArchiver::ReadDisc(char letter) {
    const std::lock_guard lock(mutex_);
    const auto it = discs_.find(letter);
    if (it == discs_.end()) return std::nullopt;
    return it->second;
}

archive::LocalTime FakeArchiver::Now() {
    const std::lock_guard lock(mutex_);
    return now_;
}

// A disc without a file system and a failed disc leave no bag; any other takes its name, or
// the one the final rename finds free.
Archiver::BagOutcome FakeArchiver::BuildBag(const std::string& folder, const Bag& bag) {
    log_.Add(std::string("BuildBag ") + bag.letter + ": " + folder + " " + bag.name);
    const std::lock_guard lock(mutex_);
    bags_.push_back(bag);
    const auto it = scripts_.find(bag.fingerprint);
    const FakeBagScript script = it == scripts_.end() ? FakeBagScript{} : it->second;
    BagOutcome outcome{script.result,       {},
                       script.files,        script.bytes,
                       script.damagedFiles, script.budgetSpent,
                       script.readOn,       script.gained,
                       script.discId};
    if (script.result == archive::DiscResult::NoFileSystem ||
        script.result == archive::DiscResult::Failed) {
        return outcome;
    }
    if (script.readOn && script.gained == 0) {
        outcome.folderName = bag.earlier;
        return outcome;
    }
    const auto name = archive::FinalBagName(
        bag.name, script.result, [&](const std::string& n) { return TakenLocked(folder, n); });
    if (!name) return BagOutcome{};
    taken_.emplace(folder, UpperAscii(*name));
    outcome.folderName = *name;
    return outcome;
}

void FakeArchiver::Notify(Urgency urgency, const std::string& text) {
    log_.Add(std::string(urgency == Urgency::Quiet ? "Notify quiet " : "Notify person ") + text);
}

void FakeArchiver::WritePage(const std::string& folder, const archive::PageTexts& texts) {
    log_.Add("WritePage " + folder + " " + texts.language);
}

}  // namespace dravolin::fake

#include "platform/linux/store/LinuxRegistry.h"

#include <utility>
#include "shell/AutoPlay.h"

namespace dravolin::lnx {

namespace {

constexpr std::int32_t kErrorInvalidParameter = 87;
// Far above anything the program stores, far below what the file format could carry.
constexpr std::size_t kMaxValueBytes = 1u << 20;

std::uint32_t RootNumber(win::RootKey root) {
    return static_cast<std::uint32_t>(root);
}

Registry::Value Answer(const StoreRecord* record, std::uint32_t capacity) {
    if (!record) return {};  // ERROR_FILE_NOT_FOUND
    return Registry::Found(record->type, record->data, capacity);
}

}  // namespace

LinuxRegistry::LinuxRegistry(std::string storeFolder, std::shared_ptr<AutoPlayHook> autoPlay)
    : file_(std::move(storeFolder)), autoPlay_(std::move(autoPlay)) {}

LinuxRegistry::~LinuxRegistry() {
    SetStoreListener(nullptr);  // whoever listened may be gone already
    Flush();
}

void LinuxRegistry::SetStoreListener(StoreListener* listener, std::function<void()> wake) {
    listener_ = listener;
    writer_.SetWake(std::move(wake));
}

std::vector<StoreRecord> LinuxRegistry::UserValues() {
    // What the writer holds is taken before the file is looked at, and its count of writes
    // after that: a write finishing in between is then in both, which does no harm, and never
    // in neither; and what was read before that write is read again.
    const std::vector<StoreChange> unwritten = writer_.Unwritten();
    const std::uint64_t writes = writer_.Writes();
    if (!fileValues_.read || fileValues_.writes != writes || fileValues_.stamp != file_.Stamp()) {
        fileValues_.records.clear();  // no stale values should the load throw
        fileValues_.read = false;
        fileValues_.records = file_.Load(&fileValues_.stamp).records;
        fileValues_.writes = writes;
        fileValues_.read = true;
    }
    std::vector<StoreRecord> records = fileValues_.records;
    ApplyChanges(unwritten, records);
    ApplyChanges(waiting_, records);
    return records;
}

void LinuxRegistry::Wait(StoreChange change) {
    waiting_.push_back(std::move(change));
    if (listener_) listener_->OnWritePending();
}

Registry::Value LinuxRegistry::GetValue(win::RootKey root, const std::string& subKey,
                                        const std::string& name, std::uint32_t capacity) {
    if (root == win::RootKey::LocalMachine) {
        return Answer(FindRecord(machine_, RootNumber(root), subKey, name), capacity);
    }
    std::vector<StoreRecord> records = UserValues();
    return Answer(FindRecord(records, RootNumber(root), subKey, name), capacity);
}

std::int32_t LinuxRegistry::SetValue(win::RootKey root, const std::string& subKey,
                                     const std::string& name, std::uint32_t type,
                                     const std::string& data) {
    if (subKey.size() + name.size() + data.size() > kMaxValueBytes) return kErrorInvalidParameter;
    StoreRecord record{RootNumber(root), subKey, name, type, data};
    if (root == win::RootKey::LocalMachine) {
        SetRecord(machine_, std::move(record));
        Notify(subKey, name, true);
        return win::kErrorSuccess;
    }
    Wait({std::move(record), false});
    return win::kErrorSuccess;
}

std::int32_t LinuxRegistry::DeleteValue(win::RootKey root, const std::string& subKey,
                                        const std::string& name) {
    if (root == win::RootKey::LocalMachine) {
        if (!EraseRecord(machine_, RootNumber(root), subKey, name)) return win::kErrorFileNotFound;
        Notify(subKey, name, false);
        return win::kErrorSuccess;
    }
    std::vector<StoreRecord> records = UserValues();
    if (!FindRecord(records, RootNumber(root), subKey, name)) return win::kErrorFileNotFound;
    Wait({{RootNumber(root), subKey, name, 0, {}}, true});
    return win::kErrorSuccess;
}

void LinuxRegistry::Commit() {
    writer_.Hand(std::exchange(waiting_, {}));
    TellFailures();
}

int LinuxRegistry::Flush() {
    writer_.Hand(std::exchange(waiting_, {}));
    const int error = writer_.Wait();
    TellFailures();
    return error;
}

void LinuxRegistry::TellFailures() {
    // Taken first: the listener may run an event loop, in which further commits come.
    const std::vector<StoreWriter::Backup> backups = writer_.TakeBackups();
    const std::vector<StoreWriter::Failure> failures = writer_.TakeFailures();
    for (const StoreWriter::Backup& backup : backups) {
        if (listener_) listener_->OnDamagedKept(backup.path, backup.backup);
    }
    for (const StoreWriter::Failure& failure : failures) {
        if (listener_) listener_->OnWriteFailed(failure.path, failure.error);
    }
}

void LinuxRegistry::Notify(const std::string& subKey, const std::string& name, bool set) {
    if (!autoPlay_ || !SameName(subKey, kCancelAutoplayKey) ||
        !SameName(name, kCancelAutoplayValue)) {
        return;
    }
    if (set) {
        autoPlay_->OnCancelValueSet();
    } else {
        autoPlay_->OnCancelValueDeleted();
    }
}

}  // namespace dravolin::lnx

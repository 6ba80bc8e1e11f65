#include "platform/linux/LinuxRegistry.h"

#include <utility>
#include "platform/linux/ErrorText.h"
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
    Registry::Value value;
    if (!record) return value;  // ERROR_FILE_NOT_FOUND
    value.type = record->type;
    if (record->data.size() > capacity) {
        value.result = win::kErrorMoreData;  // the type comes back, the data do not
        return value;
    }
    value.result = win::kErrorSuccess;
    value.data = record->data;
    return value;
}

}  // namespace

LinuxRegistry::LinuxRegistry(std::string storeFolder, std::shared_ptr<AutoPlayHook> autoPlay)
    : file_(std::move(storeFolder)), autoPlay_(std::move(autoPlay)) {}

Registry::Value LinuxRegistry::GetValue(win::RootKey root, const std::string& subKey,
                                        const std::string& name, std::uint32_t capacity) {
    if (root == win::RootKey::LocalMachine) {
        return Answer(FindRecord(machine_, RootNumber(root), subKey, name), capacity);
    }
    std::vector<StoreRecord> records = file_.Load().records;
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
    const int error =
        file_.Update([&](std::vector<StoreRecord>& records) { SetRecord(records, record); });
    return Win32ErrorFromErrno(error);
}

std::int32_t LinuxRegistry::DeleteValue(win::RootKey root, const std::string& subKey,
                                        const std::string& name) {
    if (root == win::RootKey::LocalMachine) {
        if (!EraseRecord(machine_, RootNumber(root), subKey, name)) return win::kErrorFileNotFound;
        Notify(subKey, name, false);
        return win::kErrorSuccess;
    }
    bool found = false;
    const int error = file_.Update([&](std::vector<StoreRecord>& records) {
        found = EraseRecord(records, RootNumber(root), subKey, name);
    });
    if (error != 0) return Win32ErrorFromErrno(error);
    return found ? win::kErrorSuccess : win::kErrorFileNotFound;
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

#include "platform/fake/FakeRegistry.h"

#include "platform/fake/Ascii.h"

namespace dravolin::fake {

namespace {

constexpr std::int32_t kErrorAccessDenied = 5;

std::string RootName(win::RootKey root) {
    switch (root) {
        case win::RootKey::CurrentUser:
            return "HKCU";
        case win::RootKey::LocalMachine:
            return "HKLM";
    }
    return Hex(static_cast<std::uint32_t>(root));
}

}  // namespace

FakeRegistry::FakeRegistry(CallLog* log) : log_(log) {}

bool FakeRegistry::Fails(const std::string& name) const {
    for (const auto& failing : failingNames) {
        if (EqualIgnoringAsciiCase(failing, name)) return true;
    }
    return false;
}

Registry::Value FakeRegistry::GetValue(win::RootKey root, const std::string& subKey,
                                       const std::string& name, std::uint32_t capacity) {
    log_->Add("SHGetValueA " + RootName(root) + " " + subKey + " " + name);
    const std::optional<Stored> stored = Find(root, subKey, name);
    if (!stored) return {};  // kErrorFileNotFound
    return Found(stored->type, stored->data, capacity);
}

std::int32_t FakeRegistry::SetValue(win::RootKey root, const std::string& subKey,
                                    const std::string& name, std::uint32_t type,
                                    const std::string& data) {
    log_->Add("SHSetValueA " + RootName(root) + " " + subKey + " " + name + " " +
              std::to_string(type) + " " + std::to_string(data.size()));
    if (Fails(name)) return kErrorAccessDenied;
    Put(root, subKey, name, type, data);
    return win::kErrorSuccess;
}

std::int32_t FakeRegistry::DeleteValue(win::RootKey root, const std::string& subKey,
                                       const std::string& name) {
    log_->Add("SHDeleteValueA " + RootName(root) + " " + subKey + " " + name);
    if (Fails(name)) return kErrorAccessDenied;
    auto key = keys_.find(KeyId{root, UpperAscii(subKey)});
    if (key == keys_.end() || key->second.erase(UpperAscii(name)) == 0) {
        return win::kErrorFileNotFound;
    }
    return win::kErrorSuccess;  // the key stays, even when empty
}

void FakeRegistry::Put(win::RootKey root, const std::string& subKey, const std::string& name,
                       std::uint32_t type, const std::string& data) {
    auto& values = keys_[KeyId{root, UpperAscii(subKey)}];
    // An existing value keeps the letter case of its name, as in the real registry.
    auto it = values.try_emplace(UpperAscii(name), name, Stored{}).first;
    it->second.second = Stored{type, data};
}

std::optional<FakeRegistry::Stored> FakeRegistry::Find(win::RootKey root, const std::string& subKey,
                                                       const std::string& name) const {
    auto key = keys_.find(KeyId{root, UpperAscii(subKey)});
    if (key == keys_.end()) return std::nullopt;
    auto value = key->second.find(UpperAscii(name));
    if (value == key->second.end()) return std::nullopt;
    return value->second.second;
}

bool FakeRegistry::KeyExists(win::RootKey root, const std::string& subKey) const {
    return keys_.count(KeyId{root, UpperAscii(subKey)}) != 0;
}

std::set<std::string> FakeRegistry::Names(win::RootKey root, const std::string& subKey) const {
    std::set<std::string> names;
    auto key = keys_.find(KeyId{root, UpperAscii(subKey)});
    if (key == keys_.end()) return names;
    for (const auto& [upper, entry] : key->second) names.insert(entry.first);
    return names;
}

}  // namespace dravolin::fake

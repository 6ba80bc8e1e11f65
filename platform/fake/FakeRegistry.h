#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include "platform/Registry.h"
#include "platform/fake/CallLog.h"

namespace dravolin::fake {

// Keys and values with their exact type and bytes; key and value names ignore letter case.
// Log: "SHGetValueA <HKCU|HKLM> <key> <name>", "SHSetValueA <root> <key> <name> <type> <size>",
//      "SHDeleteValueA <root> <key> <name>".
class FakeRegistry : public Registry {
  public:
    explicit FakeRegistry(CallLog* log);
    struct Stored {
        std::uint32_t type = 0;
        std::string data;
        friend bool operator==(const Stored&, const Stored&) = default;
    };

    Value GetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                   std::uint32_t capacity) override;
    std::int32_t SetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                          std::uint32_t type, const std::string& data) override;
    std::int32_t DeleteValue(win::RootKey root, const std::string& subKey,
                             const std::string& name) override;

    // Test side.
    void Put(win::RootKey root, const std::string& subKey, const std::string& name,
             std::uint32_t type, const std::string& data);
    std::optional<Stored> Find(win::RootKey root, const std::string& subKey,
                               const std::string& name) const;
    bool KeyExists(win::RootKey root, const std::string& subKey) const;
    // Value names under a key, sorted.
    std::set<std::string> Names(win::RootKey root, const std::string& subKey) const;
    // Makes writes (and deletes) fail with ERROR_ACCESS_DENIED (5) for names in the set (letter
    // case ignored).
    std::set<std::string> failingNames;

  private:
    bool Fails(const std::string& name) const;
    using KeyId = std::pair<win::RootKey, std::string>;  // upper-cased key
    std::map<KeyId, std::map<std::string, std::pair<std::string, Stored>>> keys_;
    CallLog* log_;
};

}  // namespace dravolin::fake

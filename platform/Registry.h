#pragma once
#include <cstdint>
#include <string>
#include "platform/Types.h"

namespace dravolin {

// Registry values as the lightweight shell utilities see them (SHGetValueA / SHSetValueA /
// SHDeleteValueA). Data are raw bytes; results are Win32 error codes (win::kErrorSuccess...).
class Registry {
  public:
    virtual ~Registry() = default;
    struct Value {
        std::int32_t result = win::kErrorFileNotFound;
        std::uint32_t type = 0;
        std::string data;  // the bytes read, at most the capacity asked for
    };
    // The answer for a value stored with `type` and `data`: its bytes when they fit in
    // `capacity`; otherwise win::kErrorMoreData with the type alone, as SHGetValueA answers.
    static Value Found(std::uint32_t type, const std::string& data, std::uint32_t capacity) {
        if (data.size() > capacity) return {win::kErrorMoreData, type, {}};
        return {win::kErrorSuccess, type, data};
    }
    // A value longer than `capacity` bytes reads as win::kErrorMoreData (see Found).
    virtual Value GetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                           std::uint32_t capacity) = 0;
    // Creates the key when missing; stores exactly `data`'s bytes with `type`.
    virtual std::int32_t SetValue(win::RootKey root, const std::string& subKey,
                                  const std::string& name, std::uint32_t type,
                                  const std::string& data) = 0;
    virtual std::int32_t DeleteValue(win::RootKey root, const std::string& subKey,
                                     const std::string& name) = 0;
};

}  // namespace dravolin

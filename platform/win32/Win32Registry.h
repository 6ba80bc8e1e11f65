#pragma once
// Registry values through the lightweight shell utilities. Thread-safe; used on the UI thread.
#include "platform/Registry.h"

namespace dravolin::win32 {

class Win32Registry : public Registry {
  public:
    Value GetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                   std::uint32_t capacity) override;
    std::int32_t SetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                          std::uint32_t type, const std::string& data) override;
    std::int32_t DeleteValue(win::RootKey root, const std::string& subKey,
                             const std::string& name) override;
};

}  // namespace dravolin::win32

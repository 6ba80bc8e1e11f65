#pragma once
#include <memory>
#include <string>
#include <vector>
#include "platform/Registry.h"
#include "platform/linux/StoreFile.h"

namespace dravolin::lnx {

// Told when the core sets or deletes the machine-wide AutoPlay cancel value. Linux has no such
// value; the front end holds the desktop session's automount inhibitor while it exists.
class AutoPlayHook {
  public:
    virtual ~AutoPlayHook() = default;
    virtual void OnCancelValueSet() = 0;
    virtual void OnCancelValueDeleted() = 0;
};

// Registry values: the user's in the per-user store file, the machine's (there is no machine
// registry on Linux) in memory for the life of the process. UI thread only; several processes
// may share the store file.
class LinuxRegistry : public Registry {
  public:
    explicit LinuxRegistry(std::string storeFolder = StoreFile::DefaultFolder(),
                           std::shared_ptr<AutoPlayHook> autoPlay = nullptr);

    Value GetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                   std::uint32_t capacity) override;
    std::int32_t SetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                          std::uint32_t type, const std::string& data) override;
    std::int32_t DeleteValue(win::RootKey root, const std::string& subKey,
                             const std::string& name) override;

    const StoreFile& File() const { return file_; }

  private:
    void Notify(const std::string& subKey, const std::string& name, bool set);

    StoreFile file_;
    std::shared_ptr<AutoPlayHook> autoPlay_;
    std::vector<StoreRecord> machine_;
};

}  // namespace dravolin::lnx

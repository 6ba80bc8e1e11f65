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

// Told about the per-user values the registry keeps until its next Commit. UI thread only.
class StoreListener {
  public:
    virtual ~StoreListener() = default;
    // A value was set or deleted and waits for a Commit: the front end schedules one.
    virtual void OnWritePending() = 0;
    // A Commit could not write the store file at `path`; `error` is an errno value. What
    // waited still waits, for the next Commit.
    virtual void OnWriteFailed(const std::string& path, int error) = 0;
};

// Registry values: the user's in the per-user store file, the machine's (there is no machine
// registry on Linux) in memory for the life of the process. UI thread only; several processes
// may share the store file.
//
// The user's values are written in batches: a set or a delete waits in memory, reads see it
// at once, and Commit writes everything waiting in one atomic rewrite of the file. Whoever
// runs the event loop commits when an event has been handled, so that one save of the
// history is one write and a crash leaves the old history or the new one, never a mix of the
// two. The destructor commits what still waits.
class LinuxRegistry : public Registry {
  public:
    explicit LinuxRegistry(std::string storeFolder = StoreFile::DefaultFolder(),
                           std::shared_ptr<AutoPlayHook> autoPlay = nullptr);
    ~LinuxRegistry() override;
    LinuxRegistry(const LinuxRegistry&) = delete;
    LinuxRegistry& operator=(const LinuxRegistry&) = delete;

    Value GetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                   std::uint32_t capacity) override;
    // A user's value waits for Commit: the result tells only whether it was accepted.
    std::int32_t SetValue(win::RootKey root, const std::string& subKey, const std::string& name,
                          std::uint32_t type, const std::string& data) override;
    std::int32_t DeleteValue(win::RootKey root, const std::string& subKey,
                             const std::string& name) override;

    // Writes what waits, merged into what the file holds now (another instance may have
    // written since). 0, or an errno value, which the listener hears too; on failure what
    // waited still waits.
    int Commit();
    bool HasPendingWrites() const { return !pending_.empty(); }
    // Null for none; the listener must outlive the registry or be replaced first.
    void SetStoreListener(StoreListener* listener) { listener_ = listener; }

    const StoreFile& File() const { return file_; }

  private:
    struct Change {
        StoreRecord record;
        bool erase = false;
    };
    void ApplyPending(std::vector<StoreRecord>& records) const;
    // What the file holds with what waits applied.
    std::vector<StoreRecord> UserValues() const;
    void Wait(Change change);
    void Notify(const std::string& subKey, const std::string& name, bool set);

    StoreFile file_;
    std::shared_ptr<AutoPlayHook> autoPlay_;
    std::vector<StoreRecord> machine_;
    std::vector<Change> pending_;  // in the order made
    StoreListener* listener_ = nullptr;
};

}  // namespace dravolin::lnx

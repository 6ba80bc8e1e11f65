#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "platform/Registry.h"
#include "platform/linux/store/StoreFile.h"
#include "platform/linux/store/StoreWriter.h"

namespace dravolin::lnx {

// Told when the core sets or deletes the machine-wide AutoPlay cancel value. Linux has no such
// value; the front end holds the desktop session's automount inhibitor while it exists.
class AutoPlayHook {
  public:
    virtual ~AutoPlayHook() = default;
    virtual void OnCancelValueSet() = 0;
    virtual void OnCancelValueDeleted() = 0;
};

// Told about the per-user values the registry keeps until they are written. Every member runs
// on the UI thread, never on the store's writer thread.
class StoreListener {
  public:
    virtual ~StoreListener() = default;
    // A value was set or deleted and waits for a Commit: the front end schedules one.
    virtual void OnWritePending() = 0;
    // A write of the store file at `path` failed; `error` is an errno value, or
    // kStoreNotAFile when something else than a regular file stands there. What it was to
    // write still waits, for the next Commit.
    virtual void OnWriteFailed(const std::string& path, int error) = 0;
    // The store file at `path` was damaged (or larger than could be read) and has been
    // rewritten with what could be read of it; the damaged file is kept whole as `backup`.
    virtual void OnDamagedKept(const std::string& path, const std::string& backup) = 0;
};

// Registry values: the user's in the per-user store file, the machine's (there is no machine
// registry on Linux) in memory for the life of the process. UI thread only; several processes
// may share the store file.
//
// The file is read once for a run of reads (the history's twenty values at start-up are
// twenty reads) and again only once it was replaced or changed, by this program or another.
//
// The user's values are written in batches: a set or a delete waits in memory, reads see it
// at once, and Commit hands everything waiting to the store's writer thread, which writes it
// in one atomic rewrite of the file. Whoever runs the event loop commits when an event has
// been handled, so that one save of the history is one write and a crash leaves the old
// history or the new one, never a mix of the two. The UI thread never waits for the write:
// reads see what is being written as they see what waits. The destructor writes what still
// waits and waits for the writer.
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

    // Hands what waits to the writer and returns at once. The writer merges it into what the
    // file holds at the moment of its write (another instance may have written since); a
    // write that fails is told to the listener, and what it was to write waits again. Tells
    // the failures not told yet.
    void Commit();
    // Commits and waits until the writer has written everything: 0, or the errno value of the
    // write that failed, which the listener hears too. Waits on the disk: for the teardown
    // and for programs without a UI.
    int Flush();
    // Tells the listener the writes that failed, and the damaged files kept, since it was last
    // told.
    void TellFailures();
    // Whether a value set or deleted is not in the file yet: waiting, or with the writer.
    bool HasPendingWrites() const { return !waiting_.empty() || writer_.HasUnwritten(); }
    // Null for none; the listener must outlive the registry or be replaced first. `wake` is
    // called on the writer thread when a write failed, while the writer holds its lock: it
    // must only arrange for TellFailures to run on the UI thread soon, as by posting an
    // event. Without it, the next Commit or Flush tells the failure.
    void SetStoreListener(StoreListener* listener, std::function<void()> wake = nullptr);

    const StoreFile& File() const { return file_; }

  private:
    // What the file held when last read, and which version of it that was.
    struct FileValues {
        bool read = false;
        FileStamp stamp;
        std::uint64_t writes = 0;  // the writer's count when it was read
        std::vector<StoreRecord> records;
    };

    // What the file holds with what waits applied.
    std::vector<StoreRecord> UserValues();
    void Wait(StoreChange change);
    void Notify(const std::string& subKey, const std::string& name, bool set);

    StoreFile file_;
    std::shared_ptr<AutoPlayHook> autoPlay_;
    std::vector<StoreRecord> machine_;
    std::vector<StoreChange> waiting_;  // in the order made, not handed to the writer yet
    FileValues fileValues_;
    StoreListener* listener_ = nullptr;
    StoreWriter writer_{file_};  // last: gone before what it writes
};

}  // namespace dravolin::lnx

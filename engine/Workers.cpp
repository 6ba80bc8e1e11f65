#include "engine/Workers.h"
#include <utility>
#include "engine/ArchiveDisc.h"
#include "engine/DriveControl.h"

namespace dravolin {

namespace {

// The component object library is initialised for the worker's thread around its job, and
// uninitialised however the job ends.
class ComScope {
  public:
    explicit ComScope(ComRuntime& com) : com_(com) { com_.Initialize(); }
    ~ComScope() { com_.Uninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    ComRuntime& com_;
};

}  // namespace

// Worker thread.
std::uint32_t EjectThread(DriveEntry& entry, const WorkerServices& services) {
    ComScope com(*services.com);
    EjectDisc(services, entry.letter);
    return 0;
}

// Worker thread. A tray that holds a readable disc is left alone.
std::uint32_t CloseTrayThread(DriveEntry& entry, const WorkerServices& services) {
    ComScope com(*services.com);
    if (!HasMedia(*services.devices, entry.letter)) LoadDisc(services, entry.letter);
    return 0;
}

// Worker thread. The shell takes lists of paths, each list ending with an empty entry: the
// source gets one more NUL after its own, and the destination keeps its two extra NULs until
// the copy cycle assigns the next folder.
std::uint32_t CopyThread(DriveEntry& entry, const WorkerServices& services) {
    ComScope com(*services.com);
    std::string from = DrivePath(kCopySourcePattern, entry.letter);
    from.push_back('\0');
    entry.destination.append(2, '\0');

    ShellCopy::Operation operation;
    operation.owner = entry.owner;
    operation.function = win::kFoCopy;
    operation.from = std::move(from);
    operation.to = entry.destination;
    operation.flags = 0;
    // Whatever the outcome, the copy cycle ejects the disc; the shell has shown any error.
    services.copy->FileOperation(operation);
    return 0;
}

// Worker thread. Whatever the outcome, the copy cycle ejects the disc; nobody is asked anything.
std::uint32_t ArchiveThread(DriveEntry& entry, const WorkerServices& services) {
    ComScope com(*services.com);
    if (!entry.archive || !services.archiver) return 0;
    const archive::DiscResult result =
        ArchiveDisc(
            *services.archiver, *entry.archive,
            DiscToArchive{
                entry.letter, entry.owner, entry.destination, entry.label, entry.serial, {}})
            .result;
    entry.targetFull = result == archive::DiscResult::TargetFull;
    return 0;
}

std::unique_ptr<WorkerThread> StartWorker(Threads& threads, WorkerBody body,
                                          std::shared_ptr<DriveEntry> entry,
                                          const WorkerServices& services) {
    // The job owns a share of the record and of the services, so neither can vanish under a
    // worker that outlives the dialog.
    return threads.Create(
        [body, entry = std::move(entry), services]() { return body(*entry, services); });
}

}  // namespace dravolin

#pragma once
#include <cstdint>
#include <memory>
#include "engine/DriveEntry.h"
#include "platform/Platform.h"

namespace dravolin {

// Worker thread bodies. Each runs on its own thread and touches nothing but the record it was
// given (reading `letter` and `owner`; CopyThread also rewrites `destination`) and the platform.
std::uint32_t EjectThread(DriveEntry& entry, const WorkerServices& services);
std::uint32_t CloseTrayThread(DriveEntry& entry, const WorkerServices& services);
std::uint32_t CopyThread(DriveEntry& entry, const WorkerServices& services);
// Archive mode's copy worker: the disc becomes a bag, or a log row only. Sets `targetFull`.
std::uint32_t ArchiveThread(DriveEntry& entry, const WorkerServices& services);

using WorkerBody = std::uint32_t (*)(DriveEntry&, const WorkerServices&);

// Starts `body` on a new thread that shares the record and the worker services; null when the
// thread cannot be created.
std::unique_ptr<WorkerThread> StartWorker(Threads& threads, WorkerBody body,
                                          std::shared_ptr<DriveEntry> entry,
                                          const WorkerServices& services);

}  // namespace dravolin

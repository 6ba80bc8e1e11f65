#include "engine/CopyCycle.h"
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>
#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "engine/DriveControl.h"
#include "engine/DriveList.h"
#include "engine/Workers.h"
#include "target/DestinationHistory.h"

namespace dravolin {

namespace {

// Marks a row as being handled by a pass for as long as the pass is on it. A pass nested in a
// prompt's message loop skips marked rows: the suspended pass still owns that row's next step,
// and a second worker, or a lost handle in `worker`, would follow otherwise.
class RowInPass {
  public:
    RowInPass(std::vector<bool>& rows, std::size_t row) : rows_(rows), row_(row) {
        rows_[row_] = true;
    }
    ~RowInPass() { rows_[row_] = false; }
    RowInPass(const RowInPass&) = delete;
    RowInPass& operator=(const RowInPass&) = delete;

  private:
    std::vector<bool>& rows_;  // indexed anew on exit: the vector may have grown meanwhile
    std::size_t row_;
};

// The record of `row` as a share for a worker to hold; rows and records are index-aligned.
std::shared_ptr<DriveEntry> SharedEntry(CCopyDlg& dialog, int row) {
    const auto index = static_cast<std::size_t>(row);
    return index < dialog.m_entries.size() ? dialog.m_entries[index] : nullptr;
}

// The state is shown before the worker starts, so the status seen while it runs is the state
// it was started under.
void AdvanceAndStart(CCopyDlg& dialog, int row, DriveState state, WorkerBody body) {
    UpdateDriveRow(dialog, row, state);
    std::shared_ptr<DriveEntry> shared = SharedEntry(dialog, row);
    if (!shared) return;
    Platform& services = dialog.Services();
    // A thread that cannot be created leaves `worker` null: the row advances next pass.
    shared->worker = StartWorker(services.threads, body, shared, services.workers);
}

// Archive mode: a full target stops every drive, and the user hears of it once however many
// discs met it, until a disc is archived again.
void StopForFullTarget(CCopyDlg& dialog) {
    ListView& list = *dialog.m_wndDrives;
    for (int row = 0; row < list.GetItemCount(); ++row) SetChecked(list, row, false);
    if (dialog.m_targetFullTold) return;
    dialog.m_targetFullTold = true;
    Platform& services = dialog.Services();
    services.workers.archiver->Notify(Archiver::Urgency::NeedsPerson,
                                      services.resources.LoadString(IDS_ARCHIVE_TARGET_FULL));
}

// The copy worker of the row: the shell's copy, or in archive mode the disc's bag.
WorkerBody CopyWorkerOf(CCopyDlg& dialog, const DriveEntry& entry) {
    if (!entry.archive) return CopyThread;
    dialog.m_targetFullTold = false;
    return ArchiveThread;
}

// One row's step of the cycle.
void PollRow(CCopyDlg& dialog, int row) {
    DriveEntry& entry = EntryOf(dialog, row);

    // A worker is only ever observed, never interrupted.
    if (entry.worker) {
        if (!entry.worker->HasEnded()) return;
        entry.worker.reset();
        if (std::exchange(entry.targetFull, false)) StopForFullTarget(dialog);
    }

    ListView& list = *dialog.m_wndDrives;
    if (!IsChecked(list, row)) {
        // A finished copy that was unticked waits, still "copying", for the tick to come back.
        if (entry.state != Copying) UpdateDriveRow(dialog, row, Idle);
        return;
    }

    switch (entry.state) {
        case Idle:
            AdvanceAndStart(dialog, row, Waiting, CloseTrayThread);
            break;
        case Ejecting:
            AdvanceAndStart(dialog, row, Waiting, EjectThread);
            break;
        case Waiting:
            if (!HasMedia(*dialog.Services().workers.devices, entry.letter)) break;
            // May run a nested message loop, and nested passes, before it returns.
            if (ApplyDestination(dialog, entry.destination, true)) {
                AdvanceAndStart(dialog, row, Copying, CopyWorkerOf(dialog, entry));
            } else {
                // The user has to correct the folder and tick the drive again.
                SetChecked(list, row, false);
            }
            break;
        case Copying:
            // The copy worker has ended, whatever its outcome.
            UpdateDriveRow(dialog, row, Ejecting);
            break;
        case DriveStateNone:
            break;
    }
}

}  // namespace

// UI thread only.
void PollDrives(CCopyDlg& dialog) {
    const int count = dialog.m_wndDrives->GetItemCount();
    if (count <= 0) return;
    if (dialog.m_rowsInPass.size() < static_cast<std::size_t>(count)) {
        dialog.m_rowsInPass.resize(static_cast<std::size_t>(count), false);
    }
    for (int row = 0; row < count; ++row) {
        const auto index = static_cast<std::size_t>(row);
        // An outer pass, suspended in a prompt, is still handling this row.
        if (dialog.m_rowsInPass[index]) continue;
        RowInPass mark(dialog.m_rowsInPass, index);
        PollRow(dialog, row);
    }
}

// UI thread only. Acts on the drive under the cursor whatever its tick, state or worker, and
// leaves its record and check box alone.
void EjectOrLoadAtCursor(CCopyDlg& dialog) {
    ListView& list = *dialog.m_wndDrives;
    const Point client = list.ScreenToClient(dialog.Services().desktop.GetCursorPos());
    const int row = list.HitTest(client);
    if (row < 0 || row >= list.GetItemCount()) return;

    const WorkerServices& services = dialog.Services().workers;
    const char letter = EntryOf(dialog, row).letter;
    if (HasMedia(*services.devices, letter)) {
        EjectDisc(services, letter);
    } else {
        LoadDisc(services, letter);
    }
}

}  // namespace dravolin

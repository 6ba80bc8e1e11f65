#pragma once
#include <memory>
#include "platform/Archiver.h"
#include "platform/CodePage.h"
#include "platform/ComRuntime.h"
#include "platform/DeviceControl.h"
#include "platform/Desktop.h"
#include "platform/DialogWindow.h"
#include "platform/PathPreparer.h"
#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/ShellCopy.h"
#include "platform/ShellInfo.h"
#include "platform/ShellServices.h"
#include "platform/Threads.h"
#include "platform/Volumes.h"
#include "platform/WaitCursor.h"

namespace dravolin {

// What a worker thread uses. Shared ownership: a worker keeps these alive for as long as it
// runs, also after the dialog is gone (a platform that cannot kill a thread lets it finish).
struct WorkerServices {
    std::shared_ptr<DeviceControl> devices;
    std::shared_ptr<ShellCopy> copy;
    std::shared_ptr<WaitCursor> cursor;
    std::shared_ptr<ComRuntime> com;
    // Archive mode's file work; null on a platform without archive mode, which then never
    // turns the mode on. The mode off never touches it.
    std::shared_ptr<Archiver> archiver = nullptr;
};

// Every service the core reaches. The UI-thread services are owned by the caller and outlive
// the dialog; the worker services are shared with the workers.
struct Platform {
    Desktop& desktop;
    DialogHost& host;
    Resources& resources;
    Volumes& volumes;
    ShellInfo& shellInfo;
    Registry& registry;
    PathPreparer& preparer;
    CodePage& codePage;
    AutoComplete& autoComplete;
    FolderPicker& folderPicker;
    ShellOpen& shellOpen;
    ShellContextMenu& contextMenu;
    Threads& threads;
    WorkerServices workers;
};

}  // namespace dravolin

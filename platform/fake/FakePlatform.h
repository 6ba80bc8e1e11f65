#pragma once
// Every fake service in one place, wired into the Platform the core takes.
#include <memory>
#include "platform/Platform.h"
#include "platform/fake/CallLog.h"
#include "platform/fake/FakeArchiver.h"
#include "platform/fake/FakeComRuntime.h"
#include "platform/fake/FakeControls.h"
#include "platform/fake/FakeMachine.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/FakeThreads.h"
#include "platform/fake/FakeUi.h"
#include "platform/fake/FakeWaitCursor.h"

namespace dravolin::fake {

class FakePlatform {
  public:
    explicit FakePlatform(FakeResources::Language language = FakeResources::Language::English);
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    CallLog log;
    std::shared_ptr<FakeMachine> machine;    // drives, discs, files, copy, preparation, shell info
    std::shared_ptr<FakeArchiver> archiver;  // archive mode's logs, names, bags, notifications
    FakeRegistry registry;
    FakeThreads threads;
    std::shared_ptr<FakeCom> com;
    std::shared_ptr<FakeWaitCursor> cursor;
    FakeDesktop desktop;
    FakeDialogWindow window;
    FakeDialogHost host;
    FakeResources resources;
    FakeCodePage codePage;
    FakeAutoComplete autoComplete;
    FakeFolderPicker folderPicker;
    FakeShellOpen shellOpen;
    FakeShellContextMenu contextMenu;

    // The view the core takes; refers to the members above.
    Platform& Get() { return platform_; }

  private:
    Platform platform_;
};

}  // namespace dravolin::fake

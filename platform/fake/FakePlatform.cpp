#include "platform/fake/FakePlatform.h"

namespace dravolin::fake {

FakePlatform::FakePlatform(FakeResources::Language language)
    : machine(std::make_shared<FakeMachine>(log)),
      archiver(std::make_shared<FakeArchiver>(log)),
      registry(&log),
      threads(&log),
      com(std::make_shared<FakeCom>(&log)),
      cursor(std::make_shared<FakeWaitCursor>(&log)),
      desktop(&log),
      window(&log),
      host(window, &log),
      resources(&log, language),
      autoComplete(&log),
      folderPicker(&log),
      shellOpen(&log),
      contextMenu(&log),
      platform_{desktop,      host,
                resources,    *machine,
                *machine,     registry,
                *machine,     codePage,
                autoComplete, folderPicker,
                shellOpen,    contextMenu,
                threads,      WorkerServices{machine, machine, cursor, com, archiver}} {}

}  // namespace dravolin::fake

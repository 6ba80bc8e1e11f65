#include "platform/qt/product/Program.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include "platform/linux/drives/DiscPresence.h"
#include "platform/qt/texts/Translation.h"

namespace dravolin::qt {

namespace {

// The core suppresses AutoPlay by writing and deleting the machine's cancel value, which no
// Linux desktop reads: while it exists, the session's automount inhibitor is held.
// UI thread only, as the registry is.
class InhibitorHook : public lnx::AutoPlayHook {
  public:
    explicit InhibitorHook(std::shared_ptr<SessionInhibitor> inhibitor)
        : inhibitor_(std::move(inhibitor)) {}
    void OnCancelValueSet() override { inhibitor_->Inhibit(); }
    void OnCancelValueDeleted() override { inhibitor_->Uninhibit(); }

  private:
    std::shared_ptr<SessionInhibitor> inhibitor_;
};

// The poll's media tests wait on a drive only a moment; with the tick log on, each tick's time
// on the UI thread is written to the error output.
void RunTick(const std::function<void()>& tick, bool log) {
    const lnx::DiscPresence::PollScope poll;
    if (!log) {
        tick();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    tick();
    std::fprintf(stderr, "tick %lld us\n", static_cast<long long>(clock.nsecsElapsed() / 1000));
}

}  // namespace

lnx::LinuxServicesOptions Program::ServicesOptions(
    ProgramOptions& options, const std::shared_ptr<CopyChannels>& channels,
    const std::shared_ptr<SessionInhibitor>& inhibitor) {
    lnx::LinuxServicesOptions services = std::move(options.services);
    services.prompts = channels;
    services.cursor = std::make_shared<QtWaitCursor>();
    services.autoPlay = std::make_shared<InhibitorHook>(inhibitor);
    services.audioCdLabel = Translation(options.language).Text("drive.audioCd").toStdString();
    return services;
}

Program::Program(ProgramOptions options)
    : channels_(std::make_shared<CopyChannels>()),
      inhibitor_(std::make_shared<SessionInhibitor>(
          options.sessionBus, Translation(options.language).Text("session.inhibitReason"))),
      services_(ServicesOptions(options, channels_, inhibitor_)),
      resources_(options.language),
      host_(options.language, channels_),
      storeCommits_(services_.registry(), host_, options.language),
      shellInfo_(services_.shellInfo()),
      preparer_(services_.preparer(), options.language),
      driveActions_(services_),
      folderPicker_({}, [this] { return driveActions_.MountFolders(); }),
      contextMenu_(driveActions_, services_.threads(), options.language),
      platform_{desktop_,
                host_,
                resources_,
                services_.volumes(),
                shellInfo_,
                services_.registry(),
                preparer_,
                services_.codePage(),
                autoComplete_,
                folderPicker_,
                shellOpen_,
                contextMenu_,
                services_.threads(),
                services_.workers()},
      application_(platform_, std::move(options.archive)) {
    host_.SetTickRunner([log = qEnvironmentVariableIsSet(kTickLogVariable)](
                            const std::function<void()>& tick) { RunTick(tick, log); });
}

Program::~Program() = default;

void Program::Run() {
    application_.InitInstance();
    // No event loop runs any more to commit what the teardown saved.
    storeCommits_.CommitNow();
}

bool Program::Finish(std::chrono::steady_clock::duration grace) {
    return services_.Finish(std::chrono::steady_clock::now() + grace);
}

int EndProgram(Program& program) {
    if (!program.Finish(kWorkerGrace)) std::_Exit(EXIT_SUCCESS);
    return EXIT_SUCCESS;
}

}  // namespace dravolin::qt

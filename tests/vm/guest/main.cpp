// The test program of the emulated-drive guest: the real copy cycle (the dialog's own set-up,
// poll timer and teardown) on the machine's real optical drives, mounts and files, with the
// dialog's controls held in memory and its prompts answered by a policy. Status changes go to
// standard output as lines the host reads on the serial console.
#include <chrono>
#include <memory>
#include <string>
#include <vector>
#include "Console.h"
#include "HeadlessHost.h"
#include "MediaProber.h"
#include "Options.h"
#include "Policy.h"
#include "ReportingPrompts.h"
#include "TracingCdromIo.h"
#include "app/CopyApp.h"
#include "platform/fake/FakeUi.h"
#include "platform/linux/io/DescriptorLimit.h"
#include "platform/linux/io/ErrorText.h"
#include "platform/linux/LinuxServices.h"

namespace dravolin::vm {

namespace {

// The dialog's window, its controls and the shell's interactive services: in memory, since
// the guest has no screen. Nothing here reaches the machine.
struct ScreenlessUi {
    fake::CallLog log;
    fake::FakeDesktop desktop{&log};
    fake::FakeDialogWindow window{&log};
    fake::FakeResources resources{&log};
    fake::FakeAutoComplete autoComplete{&log};
    fake::FakeFolderPicker folderPicker{&log};
    fake::FakeShellOpen shellOpen{&log};
    fake::FakeShellContextMenu contextMenu{&log};
};

int Run(const std::vector<std::string>& args) {
    auto console = std::make_shared<Console>();
    std::string error;
    std::optional<Options> options = ParseOptions(args, error);
    if (!options) {
        console->Line("USAGE " + error);
        return 2;
    }
    auto policy = std::make_shared<Policy>(options->onExists, options->onError);

    lnx::LinuxServicesOptions linuxOptions;
    linuxOptions.storeFolder = options->store;
    linuxOptions.useUDisks2 = false;  // no bus in the guest: mount(2) as root
    linuxOptions.privateMountRoot = options->mountRoot;
    linuxOptions.prompts = std::make_shared<ReportingPromptsFactory>(console, policy);
    linuxOptions.cdrom = std::make_shared<TracingCdromIo>(console);
    lnx::LinuxServices services(std::move(linuxOptions));

    ScreenlessUi ui;
    HeadlessHost host(ui.window, ui.log, console, policy, *options);
    // The store is written once per event, as the desktop program does; without a screen to
    // keep answering, the event waits for the write, whose failure is printed beside it.
    host.AfterEachEvent([&services, console] {
        if (const int error = services.registry().Flush()) {
            console->Line("STORE " + services.registry().File().Target() + ": " +
                          lnx::ErrorText(error));
        }
    });
    Platform platform{ui.desktop,           host,
                      ui.resources,         services.volumes(),
                      services.shellInfo(), services.registry(),
                      services.preparer(),  services.codePage(),
                      ui.autoComplete,      ui.folderPicker,
                      ui.shellOpen,         ui.contextMenu,
                      services.threads(),   services.workers()};

    CCopyApp app(platform);
    app.InitInstance();

    // The dialog asked its workers to stop; the services must outlive them. Then what the
    // program mounted is let go.
    const bool ended = services.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(60));
    console->Line(ended ? "BYE" : "BYE with workers still running");
    return ended ? 0 : 1;
}

}  // namespace

}  // namespace dravolin::vm

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == dravolin::vm::kMediaProberOption) {
        return dravolin::vm::RunMediaProber(argv[2]);
    }
    dravolin::lnx::RaiseDescriptorLimit();
    return dravolin::vm::Run(std::vector<std::string>(argv + 1, argv + argc));
}

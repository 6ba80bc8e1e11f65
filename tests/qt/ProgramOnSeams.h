#pragma once
// The dravolin program as main() wires it (Program), on the Linux services' test seams: a fake
// sysfs and mount table in a temporary folder, the CD-ROM ioctls and mount(2) recorded and
// scripted, no UDisks2. The dialog, its windows and the workers are the real ones.
#include <QApplication>
#include <QDBusConnection>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include "FakeSystem.h"
#include "app/CopyDlg.h"
#include "platform/qt/QtDialog.h"
#include "platform/qt/product/Program.h"

namespace dravolin::qt::test {

// Spins the event loop until `ready` holds or the deadline passes; where QtTest's own waits
// cannot be used (a child process, a nested loop's timer).
template <typename Predicate>
bool SpinUntil(Predicate ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct ProgramOnSeams {
    // Drives sr0, sr1, ... (D:, E:, ...) and the session bus the inhibitor uses.
    explicit ProgramOnSeams(int drives = 1,
                            QDBusConnection bus = QDBusConnection(QStringLiteral("no-bus")),
                            const std::function<void(lnx::test::FakeSystem&)>& prepare = {},
                            ArchiveOptions archive = {}, Language language = Language::English) {
        for (int i = 0; i < drives; ++i) system.AddBlockDevice("sr" + std::to_string(i), 5);
        if (prepare) prepare(system);
        ProgramOptions options;
        options.services.roots = system.Roots();
        options.services.storeFolder = system.Temp() / "store";
        options.services.useUDisks2 = false;
        options.services.privateMountRoot = system.Temp() / "run";
        options.services.cdrom = cdrom;
        options.services.mountCalls = calls;
        options.sessionBus = std::move(bus);
        options.archive = std::move(archive);
        options.language = language;
        program = std::make_unique<Program>(std::move(options));
    }

    // Runs the dialog; `whileOpen` acts on it once its loop runs. The poll timer is stopped
    // first: the test delivers every tick itself. The dialog is closed afterwards, whatever
    // happened inside, so that the test cannot hang.
    void Run(const std::function<void(QtDialog&, CCopyDlg&)>& whileOpen) {
        QTimer::singleShot(0, [this, whileOpen] {
            QtDialog* window = program->Host().Current();
            CCopyDlg* core = program->Dialog();
            if (!window || !core) return;
            window->KillTimer(1);
            whileOpen(*window, *core);
            if (program->Host().Current() == window && window->isVisible()) window->done(0);
        });
        program->Run();
    }

    // One poll tick, as the timer delivers it.
    static void Tick(CCopyDlg& core) {
        std::intptr_t result = 0;
        core.OnWndMsg(win::kWmTimer, 1, 0, &result);
    }

    // True when no worker runs.
    bool Settled() {
        return program->Services().threads().WaitForAll(std::chrono::steady_clock::now());
    }

    // Whether the drive was sent `request` (by any thread).
    bool Sent(unsigned long request) {
        const auto requests = lnx::test::Requests(cdrom->Calls());
        return std::find(requests.begin(), requests.end(), request) != requests.end();
    }
    // Whether the UI thread (this one) ever touched a drive.
    bool TouchedOnThisThread() {
        const auto threads = cdrom->Threads();
        return std::find(threads.begin(), threads.end(), std::this_thread::get_id()) !=
               threads.end();
    }

    lnx::test::FakeSystem system;
    std::shared_ptr<lnx::test::FakeCdrom> cdrom = std::make_shared<lnx::test::FakeCdrom>();
    std::shared_ptr<lnx::test::FakeMountCalls> calls =
        std::make_shared<lnx::test::FakeMountCalls>();
    std::unique_ptr<Program> program;
};

}  // namespace dravolin::qt::test

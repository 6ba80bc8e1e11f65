// The poll tick of the dravolin program (Program: the Qt dialog on the Linux services) on the UI
// thread, with healthy drives and with drives that take long over every command, as a drive
// retrying the reads of a scratched disc does. The rows are unticked, so every tick refreshes
// every row; the only synchronous drive access the poll may make (the media test of a waiting
// row) is not part of it.
//   dravolin_qt_tick_bench [drives] [ticks] [slow-ms]
// Prints the median and maximum tick for both kinds of drive, and their ratio (1 when the
// drives' slowness never reaches the UI thread). The real drives are measured in the guest
// with DRAVOLIN_TICK_LOG.
#include <climits>  // linux/cdrom.h uses INT_MAX without including it
#include <linux/cdrom.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include "platform/qt/QtDialog.h"
#include "platform/qt/product/Program.h"

namespace {

using namespace dravolin;

// A drive that takes `delay` over every command: open and ioctl.
class SlowCdrom : public lnx::CdromIo {
  public:
    explicit SlowCdrom(std::chrono::milliseconds delay) : delay_(delay) {}
    lnx::UniqueFd Open(const std::string& node) override {
        std::this_thread::sleep_for(delay_);
        return CdromIo::Open(node);
    }
    int Ioctl(int, unsigned long request, std::uintptr_t) override {
        std::this_thread::sleep_for(delay_);
        return request == CDROM_DRIVE_STATUS ? CDS_DISC_OK : 0;
    }

  private:
    std::chrono::milliseconds delay_;
};

// Optical drives sr0.. in a sysfs of a temporary folder, device nodes as plain files.
std::string MakeMachine(int drives) {
    char pattern[] = "/tmp/dravolin-tick-bench-XXXXXX";
    const std::string root = ::mkdtemp(pattern);
    std::filesystem::create_directories(root + "/dev");
    for (int i = 0; i < drives; ++i) {
        const std::string name = "sr" + std::to_string(i);
        std::filesystem::create_directories(root + "/sys/block/" + name + "/device");
        std::ofstream(root + "/sys/block/" + name + "/device/type") << "5\n";
        std::ofstream(root + "/dev/" + name) << std::string(64 * 2048, '\0');
    }
    std::ofstream(root + "/mountinfo") << "";
    return root;
}

struct Figures {
    double medianUs = 0;
    double maxUs = 0;
};

Figures MeasureTicks(int drives, int ticks, std::chrono::milliseconds delay) {
    const std::string root = MakeMachine(drives);
    qt::ProgramOptions options;
    options.services.roots = {root + "/sys", root + "/dev", root + "/mountinfo"};
    options.services.storeFolder = root + "/store";
    options.services.useUDisks2 = false;
    options.services.cdrom = std::make_shared<SlowCdrom>(delay);
    options.sessionBus = QDBusConnection(QStringLiteral("no-bus"));
    qt::Program program(std::move(options));

    std::vector<double> took;
    QTimer::singleShot(0, [&] {
        qt::QtDialog* window = program.Host().Current();
        CCopyDlg* core = program.Dialog();
        window->KillTimer(1);  // the ticks are delivered here
        for (int i = 0; i < ticks; ++i) {
            std::intptr_t result = 0;
            QElapsedTimer clock;
            clock.start();
            core->OnWndMsg(win::kWmTimer, 1, 0, &result);
            took.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e3);
            QApplication::processEvents();
        }
        window->done(0);
    });
    program.Run();
    program.Finish(std::chrono::seconds(60));
    std::filesystem::remove_all(root);

    std::sort(took.begin(), took.end());
    Figures figures;
    if (!took.empty()) {
        figures.medianUs = took[took.size() / 2];
        figures.maxUs = took.back();
    }
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int drives = argc > 1 ? std::atoi(argv[1]) : 4;
    const int ticks = argc > 2 ? std::atoi(argv[2]) : 50;
    const auto slow = std::chrono::milliseconds(argc > 3 ? std::atoi(argv[3]) : 200);

    const Figures healthy = MeasureTicks(drives, ticks, std::chrono::milliseconds(0));
    const Figures stalled = MeasureTicks(drives, ticks, slow);
    std::printf("tick on the UI thread, %d unticked drives, %d ticks\n", drives, ticks);
    std::printf("  healthy drives:                 median %.1f us, max %.1f us\n", healthy.medianUs,
                healthy.maxUs);
    std::printf("  drives taking %lld ms a command: median %.1f us, max %.1f us\n",
                static_cast<long long>(slow.count()), stalled.medianUs, stalled.maxUs);
    std::printf("  ratio slow/healthy: median %.2f, max %.2f\n",
                healthy.medianUs > 0 ? stalled.medianUs / healthy.medianUs : 0.0,
                healthy.maxUs > 0 ? stalled.maxUs / healthy.maxUs : 0.0);
    return 0;
}

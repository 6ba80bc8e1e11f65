// Figures of the Qt dialog on the fake machine: time to the dialog shown, peak resident memory
// with the dialog open, and the UI thread's time for one poll tick.
//   dravolin_qt_bench [drives] [ticks]
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "tests/qt/QtTestPlatform.h"

int main(int argc, char** argv) {
    using namespace dravolin;
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    const int drives = argc > 1 ? std::stoi(argv[1]) : 4;
    const int ticks = argc > 2 ? std::stoi(argv[2]) : 200;

    qt::test::QtTestPlatform machine;
    for (int i = 0; i < drives; ++i) {
        const char letter = static_cast<char>('D' + i);
        machine.fakes.machine->AddDrive(letter);
        machine.fakes.machine->InsertDisc(letter,
                                          fake::FakeDisc{"DISC_" + std::string(1, letter),
                                                         static_cast<std::uint32_t>(0x100 + i),
                                                         {{"a.txt", "a"}},
                                                         {}});
    }
    // The target is a Linux path, which no volume of the fake machine holds: its preparation
    // succeeds all the same, so that every drive stays in the cycle.
    machine.fakes.machine->SetPrepareResult(win::kSOk);

    double startupMs = 0;
    std::vector<double> tickUs;
    std::vector<double> tickPaintUs;
    machine.RunWithCore([&](qt::QtDialog& window, CCopyDlg& core) {
        startupMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        QApplication::processEvents();
        // Every drive ticked, so each tick polls every drive.
        for (int row = 0; row < window.DriveTree().topLevelItemCount(); ++row) {
            window.DriveTree().topLevelItem(row)->setCheckState(0, Qt::Checked);
        }
        window.Target().setEditText(QStringLiteral("/srv/Out"));
        for (int i = 0; i < ticks; ++i) {
            std::intptr_t result = 0;
            QElapsedTimer tick;
            tick.start();
            core.OnWndMsg(win::kWmTimer, 1, 0, &result);
            tickUs.push_back(static_cast<double>(tick.nsecsElapsed()) / 1e3);
            QApplication::processEvents();  // the repaints the tick asked for
            tickPaintUs.push_back(static_cast<double>(tick.nsecsElapsed()) / 1e3);
            machine.fakes.threads.FinishAll();
        }
    });
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto median = [](std::vector<double> values) {
        if (values.empty()) return 0.0;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::printf("drives %d\n", drives);
    std::printf("startup to dialog shown: %.1f ms\n", startupMs);
    std::printf("peak RSS: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::printf("tick on the UI thread (median of %d): %.1f us; with its repaint: %.1f us\n", ticks,
                median(tickUs), median(tickPaintUs));
    return 0;
}

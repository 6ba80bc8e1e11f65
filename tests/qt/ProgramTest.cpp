// The dravolin program as main() wires it, on the Linux services' seams: the copy cycle through
// the real dialog, prompts and workers; the end of the program, also with a worker that never
// returns (run in a child process, which has to end); the tick log; the folder chooser; an audio
// CD's row in either language.
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QtTest>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include "platform/qt/copy/CopyBoard.h"
#include "tests/qt/ProgramOnSeams.h"
#include "tests/qt/WindowEndings.h"

using namespace dravolin;
using namespace dravolin::qt;
using namespace dravolin::qt::test;

namespace {

constexpr char kChildFlag[] = "--child";

QString StatusOf(QtDialog& dialog, int row) {
    return dialog.DriveTree().topLevelItem(row)->text(1);
}

// Catches the dialog's poll timer (the QTimer of 1500 ms) when it first ticks.
class PollTimerSpy : public QObject {
  public:
    PollTimerSpy() { QCoreApplication::instance()->installEventFilter(this); }
    ~PollTimerSpy() override { QCoreApplication::instance()->removeEventFilter(this); }
    QPointer<QTimer> timer;
    bool seen = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* candidate = qobject_cast<QTimer*>(watched);
        if (!seen && event->type() == QEvent::Timer && candidate && candidate->interval() == 1500) {
            timer = candidate;
            seen = true;
        }
        return false;
    }
};

// The child programs the exit tests start: each runs the program and ends as main() does.
//   stuck: a worker never returns from a device command; the program must end all the same.
//   ends:  nothing holds it up; it returns and destroys everything (checked for leaks).
//   ticks: the poll timer runs with the tick log asked for in the environment.
int RunChild(const std::string& scenario) {
    ProgramOnSeams seams;
    if (scenario == "stuck") {
        seams.cdrom->status = CDS_NO_DISC;  // the tray worker closes the tray
        std::atomic<bool> stuck{false};
        seams.cdrom->onIoctl = [&](unsigned long request) {
            if (request != CDROMCLOSETRAY) return;
            stuck = true;
            std::mutex mutex;
            std::condition_variable never;
            std::unique_lock lock(mutex);
            for (;;) never.wait(lock);
        };
        seams.Run([&](QtDialog& dialog, CCopyDlg& core) {
            dialog.DriveTree().topLevelItem(0)->setCheckState(0, Qt::Checked);
            ProgramOnSeams::Tick(core);
            if (SpinUntil([&] { return stuck.load(); })) {
                std::puts("a worker is stuck in a device command");
                std::fflush(stdout);
            }
        });
        EndProgram(*seams.program);
        std::puts("the program went on although a worker never ends");
        return 3;
    }
    if (scenario == "ticks") {
        QTimer::singleShot(0, [&] {
            QtDialog* dialog = seams.program->Host().Current();
            // The timer's first tick, after the refresh that the dialog's set-up asked for.
            SpinUntil([&] {
                const auto requests = lnx::test::Requests(seams.cdrom->Calls());
                return std::count(requests.begin(), requests.end(), CDROM_DRIVE_STATUS) >= 2;
            });
            dialog->done(0);
        });
        seams.program->Run();
        return EndProgram(*seams.program);
    }
    // The dialog's own timer stays, to be killed by the teardown as in the program.
    QTimer::singleShot(0, [&] { seams.program->Host().Current()->done(0); });
    seams.program->Run();
    return EndProgram(*seams.program);
}

struct ChildResult {
    bool finished = false;
    int exitCode = -1;
    QString output;
};

ChildResult RunChildProgram(const QString& scenario, const QProcessEnvironment& environment =
                                                         QProcessEnvironment::systemEnvironment()) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kChildFlag), scenario});
    ChildResult result;
    // The grace is 3 s; the rest of the deadline is for a slow, sanitized start.
    result.finished = child.waitForFinished(60000);
    if (!result.finished) child.kill();
    child.waitForFinished(5000);
    result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    result.output = QString::fromUtf8(child.readAll());
    return result;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    // A blank disc cannot be mounted: its copy asks the error question and has no progress
    // window. However the user ends that prompt, the copy ends as with Cancel, and the cycle
    // goes on: "Disc ejecting", then the eject.
    void aMountFailurePromptEndedAnyWayLeadsToTheEject_data() {
        QTest::addColumn<int>("ending");
        for (Ending ending : kEndings) {
            QTest::newRow(NameOf(ending).toUtf8().constData()) << static_cast<int>(ending);
        }
    }
    void aMountFailurePromptEndedAnyWayLeadsToTheEject() {
        QFETCH(int, ending);
        ProgramOnSeams seams;
        seams.calls->mountErrors = {{"udf", EINVAL}, {"iso9660", EINVAL}};
        seams.Run([&](QtDialog& dialog, CCopyDlg& core) {
            dialog.Target().setEditText(QString::fromStdString(seams.system.Temp() / "out"));
            dialog.DriveTree().topLevelItem(0)->setCheckState(0, Qt::Checked);
            ProgramOnSeams::Tick(core);  // Idle -> Waiting: the tray worker finds the disc
            QTRY_VERIFY(seams.Settled());
            ProgramOnSeams::Tick(core);  // Waiting -> Copying: the copy cannot mount, and asks
            QCOMPARE(StatusOf(dialog, 0), QStringLiteral("Disc copying"));
            CopyBoard* board = seams.program->Host().Board();
            QTRY_VERIFY_WITH_TIMEOUT(board->OpenPrompt() != nullptr, 10000);
            QVERIFY(board->ProgressWindows().empty());
            // The drive as the list names it, and what mount(2)'s answer means.
            auto* box = qobject_cast<QMessageBox*>(board->OpenPrompt());
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("CD/DVD drive sr0 (D:)\n\nThis disc holds no "
                                                 "files the computer can read. It may be blank, "
                                                 "an audio CD, or damaged."));
            End(*board->OpenPrompt(), static_cast<Ending>(ending));

            QTRY_VERIFY_WITH_TIMEOUT(seams.Settled(), 10000);
            ProgramOnSeams::Tick(core);
            QCOMPARE(StatusOf(dialog, 0), QStringLiteral("Disc ejecting"));
            QVERIFY(!seams.Sent(CDROMEJECT));
            ProgramOnSeams::Tick(core);
            QCOMPARE(StatusOf(dialog, 0), QStringLiteral("Waiting for new disc"));
            QTRY_VERIFY_WITH_TIMEOUT(seams.Sent(CDROMEJECT), 10000);
        });
    }

    // The dialog closes while a copy waits for the user (a replace question): the copy ends,
    // and with it the mount it made, door unlocked. What was mounted on request (the drive
    // menu) goes at the end of the program; a mount the program found stays.
    void theEndOfTheProgramLeavesNoMountOfItsOwn() {
        ProgramOnSeams seams(3, QDBusConnection(QStringLiteral("no-bus")),
                             [](lnx::test::FakeSystem& system) {
                                 system.AddMount(system.Dev("sr2"), "/media/u/THEIRS");
                             });
        const std::string disc = seams.system.Temp() / "run/sr0";  // the private mount of D:
        const std::string target = seams.system.Temp() / "out";
        lnx::test::MakeFolder(disc);
        lnx::test::MakeFolder(target);
        lnx::test::WriteFile(disc + "/a.txt", "from the disc");
        lnx::test::WriteFile(target + "/a.txt", "already there");
        seams.Run([&](QtDialog& dialog, CCopyDlg& core) {
            const lnx::OpticalDrive& e = seams.program->Services().drives().All()[1];
            QVERIFY(seams.program->Services().mounter().EnsureMounted(e).ok);
            dialog.Target().setEditText(QString::fromStdString(target));
            dialog.DriveTree().topLevelItem(0)->setCheckState(0, Qt::Checked);
            ProgramOnSeams::Tick(core);
            QTRY_VERIFY(seams.Settled());
            ProgramOnSeams::Tick(core);  // the copy meets a.txt and asks
            QTRY_VERIFY_WITH_TIMEOUT(seams.program->Host().Board()->OpenPrompt() != nullptr, 10000);
            QVERIFY(!seams.cdrom->Unlocked(seams.system.Dev("sr0")));
        });
        QVERIFY(seams.program->Finish(kWorkerGrace));

        const std::vector<std::string> log = seams.calls->Log();
        const auto has = [&](const std::string& line) {
            return std::find(log.begin(), log.end(), line) != log.end();
        };
        QVERIFY(has("umount " + disc));
        QVERIFY(has("umount " + seams.system.Temp() / "run/sr1"));
        QCOMPARE(log.size(), std::size_t{4});  // two mounts, two releases
        QVERIFY(seams.cdrom->Unlocked(seams.system.Dev("sr0")));
        QVERIFY(seams.cdrom->Unlocked(seams.system.Dev("sr1")));
        QVERIFY(!seams.cdrom->Unlocked(seams.system.Dev("sr2")));
        QCOMPARE(QString::fromStdString(lnx::test::ReadFile(target + "/a.txt")),
                 QStringLiteral("already there"));
    }

    // A worker stuck in a device command (a drive that never answers) cannot be killed on
    // Linux. The program waits the grace for it, then ends at once: it neither hangs nor
    // destroys the services under the worker (the child would not end with success then).
    void aWorkerThatNeverReturnsDoesNotKeepTheProgramAlive() {
        const ChildResult child = RunChildProgram(QStringLiteral("stuck"));
        QVERIFY2(child.finished, qPrintable(child.output));
        QVERIFY2(child.output.contains(QStringLiteral("stuck in a device command")),
                 qPrintable(child.output));
        QCOMPARE(child.exitCode, 0);
    }

    // The program runs no event loop after its dialog's teardown, which kills the poll timer:
    // the timer object must go with the dialog all the same.
    void thePollTimerGoesWithTheDialog() {
        ProgramOnSeams seams;
        PollTimerSpy spy;
        QTimer::singleShot(0, [&] {
            SpinUntil([&] { return !spy.timer.isNull(); });  // its first tick
            seams.program->Host().Current()->done(0);
        });
        seams.program->Run();
        QVERIFY(spy.seen);
        QVERIFY(spy.timer.isNull());
    }

    // `dravolin --archive` reaches the dialog: the Linux services bring the archiver it needs.
    void archiveModeReachesTheDialog() {
        ArchiveOptions archive;
        archive.on = true;
        ProgramOnSeams seams(1, QDBusConnection(QStringLiteral("no-bus")), {}, archive);
        QString title;
        seams.Run([&](QtDialog& dialog, CCopyDlg&) { title = dialog.windowTitle(); });
        QCOMPARE(title, QStringLiteral("Dravolin: archive mode"));
    }

    // An audio CD has no volume: its drive's row names it as Windows names its volume, in the
    // program's language, in either mode.
    void theRowOfAnAudioCdNamesIt_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("archiveMode");
        QTest::addColumn<QString>("row");
        QTest::newRow("English") << int(Language::English) << false
                                 << QStringLiteral("Audio CD (D:)");
        QTest::newRow("Russian, archive mode")
            << int(Language::Russian) << true << QStringLiteral("Аудио-CD (D:)");
    }
    void theRowOfAnAudioCdNamesIt() {
        QFETCH(int, language);
        QFETCH(bool, archiveMode);
        QFETCH(QString, row);
        ArchiveOptions archive;
        archive.on = archiveMode;
        ProgramOnSeams seams(1, QDBusConnection(QStringLiteral("no-bus")), {}, archive,
                             static_cast<Language>(language));
        seams.cdrom->tracks = {{0, false}, {21000, false}, {40500, false}};
        seams.cdrom->leadOutLba = 61000;
        QString shown;
        seams.Run([&](QtDialog& dialog, CCopyDlg& core) {
            // The dialog's set-up asked for the drive's refresh; the tick after it shows the disc.
            QTRY_VERIFY(seams.Settled());
            ProgramOnSeams::Tick(core);
            shown = dialog.DriveTree().topLevelItem(0)->text(0);
        });
        QCOMPARE(shown, row);
    }

    // Nothing holds the program up: it returns from main, destroying everything, and the
    // sanitized build's leak checker finds nothing left.
    void theProgramEndsCleanly() {
        const ChildResult child = RunChildProgram(QStringLiteral("ends"));
        QVERIFY2(child.finished, qPrintable(child.output));
        QVERIFY2(child.exitCode == 0, qPrintable(child.output));
    }

    // The poll's cost on the UI thread can be measured where the program runs (the guest's real
    // drives): asked for in the environment, each tick's time goes to standard error.
    void theTickLogIsWrittenWhenAsked() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kTickLogVariable), QStringLiteral("1"));
        const ChildResult asked = RunChildProgram(QStringLiteral("ticks"), environment);
        QVERIFY2(asked.finished && asked.exitCode == 0, qPrintable(asked.output));
        const QRegularExpression line(QStringLiteral("^tick \\d+ us$"),
                                      QRegularExpression::MultilineOption);
        QVERIFY2(line.match(asked.output).hasMatch(), qPrintable(asked.output));

        environment.remove(QString::fromLatin1(kTickLogVariable));
        const ChildResult silent = RunChildProgram(QStringLiteral("ticks"), environment);
        QVERIFY2(silent.finished && silent.exitCode == 0, qPrintable(silent.output));
        QVERIFY2(!line.match(silent.output).hasMatch(), qPrintable(silent.output));
    }

    // The chooser opens on the drives; its side bar leads to each drive's disc.
    void theFolderChoosersSideBarListsTheDrivesDiscs() {
        ProgramOnSeams seams(2, QDBusConnection(QStringLiteral("no-bus")),
                             [](lnx::test::FakeSystem& system) {
                                 lnx::test::MakeFolder(system.Temp() / "media/DISC");
                                 system.AddMount(system.Dev("sr1"), system.Temp() / "media/DISC");
                             });
        QList<QUrl> side;
        seams.Run([&](QtDialog& dialog, CCopyDlg&) {
            QTimer::singleShot(0, [&] {
                SpinUntil(
                    [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); });
                if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    side = chooser->sidebarUrls();
                    chooser->reject();
                }
            });
            dialog.Button(3)->click();  // Browse
        });
        QVERIFY(side.contains(
            QUrl::fromLocalFile(QString::fromStdString(seams.system.Temp() / "media/DISC"))));
    }
};

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == kChildFlag) {
        QApplication app(argc, argv);
        return RunChild(argv[2]);
    }
    QApplication app(argc, argv);
    ProgramTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "ProgramTest.moc"

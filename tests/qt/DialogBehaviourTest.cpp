// Events of the running dialog: keys and commands, the poll timer's life, teardown order,
// ticks inside nested loops, and the drive list's clicks.
#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>
#include <thread>
#include "engine/DriveList.h"
#include "tests/qt/QtTestPlatform.h"

using namespace dravolin;
using namespace dravolin::qt;

namespace {

int IndexOf(const std::vector<std::string>& lines, const std::string& line) {
    auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

void Tick(CCopyDlg& core) {
    std::intptr_t result = 0;
    core.OnWndMsg(win::kWmTimer, 1, 0, &result);
}

int Ticks(const fake::CallLog& log) {
    // Every poll asks each drive for its volume.
    return static_cast<int>(log.Matching("GetVolumeInformationA").size());
}

}  // namespace

class DialogBehaviourTest : public QObject {
    Q_OBJECT

  private slots:
    void enterAndIdOkNeverClose() {
        test::QtTestPlatform machine;
        machine.fakes.folderPicker.choice.reset();
        machine.Run([&](QtDialog& dialog) {
            dialog.accept();  // IDOK
            QVERIFY(dialog.isVisible());
            dialog.DriveTree().setFocus();
            QTest::keyClick(&dialog.DriveTree(), Qt::Key_Return);
            QVERIFY(dialog.isVisible());
            // Enter pressed the default button: Browse opened the folder picker.
            QCOMPARE(machine.fakes.log.Matching("SHBrowseForFolderA").size(), std::size_t{1});
            QTest::keyClick(dialog.Target().lineEdit(), Qt::Key_Enter);
            QVERIFY(dialog.isVisible());
            QCOMPARE(machine.fakes.log.Matching("SHBrowseForFolderA").size(), std::size_t{2});
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
        });
        QVERIFY(machine.host.Current() == nullptr);
    }

    void exitButtonCloses() {
        test::QtTestPlatform machine;
        bool closed = false;
        machine.Run([&](QtDialog& dialog) {
            dialog.Button(2)->click();
            closed = !dialog.isVisible();
        });
        QVERIFY(closed);
        // The teardown ran: the AutoPlay value was deleted.
        QVERIFY(machine.fakes.log.IndexOf("SHDeleteValueA") >= 0);
    }

    void browseAppliesTheChoice() {
        test::QtTestPlatform machine;
        machine.fakes.folderPicker.choice = "/srv/Discs";
        machine.Run([&](QtDialog& dialog) {
            dialog.Button(3)->click();
            QCOMPARE(dialog.Target().lineEdit()->text(), QStringLiteral("/srv/Discs/"));
            QCOMPARE(dialog.Target().count(), 1);
            QCOMPARE(dialog.Target().itemText(0), QStringLiteral("/srv/Discs/"));
            dialog.Button(1004)->click();
        });
        QCOMPARE(machine.fakes.log.Matching("ShellExecuteA").size(), std::size_t{1});
        QVERIFY(machine.fakes.log.Matching("ShellExecuteA").front().find("/srv/Discs/") !=
                std::string::npos);
    }

    void timerLivesBetweenSetUpAndTeardown() {
        test::QtTestPlatform machine;
        machine.fakes.machine->AddDrive('E');
        machine.Run([&](QtDialog& dialog) {
            QVERIFY(dialog.HasTimer(1));
            // A ticked drive gets a worker that is still running when the dialog closes.
            QTreeWidgetItem* row = dialog.DriveTree().topLevelItem(0);
            row->setCheckState(0, Qt::Checked);
            QTRY_VERIFY_WITH_TIMEOUT(machine.fakes.threads.Count() == 1, 5000);
            machine.fakes.threads.KeepRunning(0);
            dialog.Target().lineEdit()->setText(QStringLiteral("/srv/Out"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        const std::vector<std::string> lines = machine.fakes.log.Lines();
        const int arm = IndexOf(lines, "set 00000000-0000-0000-0000-000000000000 no-timer");
        const int terminate = IndexOf(lines, "terminate no-timer");
        const int save = IndexOf(lines, "set Destination00 no-timer");
        const int disarm = IndexOf(lines, "delete 00000000-0000-0000-0000-000000000000 no-timer");
        QVERIFY(arm >= 0);
        QVERIFY(terminate > arm);
        QVERIFY(save > terminate);
        QVERIFY(disarm > save);
        QCOMPARE(
            machine.fakes.registry
                .GetValue(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00", 260)
                .data,
            std::string("/srv/Out/"));
    }

    void ticksArriveInsideANestedPrompt() {
        test::QtTestPlatform machine;
        machine.fakes.machine->AddDrive('E');
        int before = 0;
        int inside = 0;
        machine.Run([&](QtDialog& dialog) {
            before = Ticks(machine.fakes.log);
            QMessageBox box(QMessageBox::Information, QStringLiteral("Nested"),
                            QStringLiteral("A prompt of the shell"), QMessageBox::Ok, &dialog);
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, &box, [&] {
                if (Ticks(machine.fakes.log) > before) box.done(0);
            });
            watch.start(20);
            QTimer::singleShot(10000, &box, [&] { box.done(1); });  // a deadline, not a wait
            box.exec();
            inside = Ticks(machine.fakes.log);
        });
        QVERIFY(inside > before);
    }

    // A row's change is on screen before the handler goes on (it may then wait in a nested
    // loop, or take long); a tick that changes nothing paints nothing.
    void aRowsChangeIsPaintedAtOnce() {
        test::QtTestPlatform machine;
        machine.fakes.machine->AddDrive('E');
        machine.RunWithCore([&](QtDialog& dialog, CCopyDlg& core) {
            QTRY_VERIFY(dialog.isVisible());
            QApplication::processEvents();
            PaintCounter painted(*dialog.DriveTree().viewport());
            Tick(core);
            QCOMPARE(painted.count, 0);
            machine.fakes.machine->InsertDisc('E', fake::FakeDisc{"DATA", 0x1234, {}, {}});
            Tick(core);  // the unticked row shows the disc's label
            QCOMPARE(dialog.DriveTree().topLevelItem(0)->text(0), QStringLiteral("DATA (E:)"));
            QVERIFY(painted.count > 0);
        });
    }

    // Qt would forward a worker's cursor calls to the UI thread and show a busy cursor over a
    // dialog that answers; only the UI thread's own wait shows it.
    void onlyTheUiThreadsWaitShowsTheWaitCursor() {
        QtWaitCursor cursor;
        std::thread([&] { cursor.Begin(); }).join();
        QCoreApplication::processEvents();
        QVERIFY(QApplication::overrideCursor() == nullptr);
        std::thread([&] { cursor.End(); }).join();
        QCoreApplication::processEvents();
        QVERIFY(QApplication::overrideCursor() == nullptr);

        cursor.Begin();
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        cursor.End();
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void doubleAndRightClicksReachTheCore() {
        test::QtTestPlatform machine;
        machine.fakes.machine->AddDrive('E');
        machine.Run([&](QtDialog& dialog) {
            QTreeWidget& tree = dialog.DriveTree();
            const QPoint row = tree.visualItemRect(tree.topLevelItem(0)).center();
            QCursor::setPos(tree.viewport()->mapToGlobal(row));
            QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, row);
            // No disc in the drive: the double click loads (closes the tray).
            QCOMPARE(machine.fakes.log.Matching("DeviceIoControl \\\\.\\E: 0x7480c").size(),
                     std::size_t{1});
            QContextMenuEvent menu(QContextMenuEvent::Mouse, row,
                                   tree.viewport()->mapToGlobal(row));
            QApplication::sendEvent(tree.viewport(), &menu);
            QCOMPARE(machine.fakes.log.Matching("ContextMenu").size(), std::size_t{1});
            QVERIFY(machine.fakes.log.Matching("ContextMenu").front().find("E:\\") !=
                    std::string::npos);
            // Below the last row there is no drive and no menu.
            const QPoint below(5, tree.viewport()->height() - 2);
            QCursor::setPos(tree.viewport()->mapToGlobal(below));
            QContextMenuEvent none(QContextMenuEvent::Mouse, below,
                                   tree.viewport()->mapToGlobal(below));
            QApplication::sendEvent(tree.viewport(), &none);
            QCOMPARE(machine.fakes.log.Matching("ContextMenu").size(), std::size_t{1});
        });
    }
};

QTEST_MAIN(DialogBehaviourTest)
#include "DialogBehaviourTest.moc"

// A target folder that cannot be made, as the user meets it: the real Linux preparation
// fails, the dialog says why, and the drive is unticked.
#include <QMessageBox>
#include <QPushButton>
#include "tests/qt/TargetDesk.h"

using namespace dravolin;
using namespace dravolin::qt;
using namespace dravolin::qt::test;

namespace {

int MediaTestsOfF(const fake::CallLog& log) {
    return static_cast<int>(log.Matching("DeviceIoControl \\\\.\\F: 0x74800").size());
}

}  // namespace

class TargetPreparationTest : public QObject {
    Q_OBJECT

  private slots:
    // A folder that cannot be made is explained on the dialog, naming it, before the drive is
    // unticked; the box ends by its button, Escape or its close box, and the poll goes on
    // while it is open.
    void aFolderThatCannotBePreparedIsExplained_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("closing");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("typed");   // empty: a folder below a file
        QTest::addColumn<QString>("reason");  // what follows the target
        const QString notADirectory = QStringLiteral("Not a directory");
        QTest::newRow("English, OK")
            << int(Language::English) << "OK"
            << "Cannot copy into the target folder" << QString() << notADirectory;
        QTest::newRow("English, Escape")
            << int(Language::English) << "Escape"
            << "Cannot copy into the target folder" << QString() << notADirectory;
        QTest::newRow("Russian, close box")
            << int(Language::Russian) << "close"
            << "Невозможно копировать в целевой каталог" << QString() << notADirectory;
        // Targets a Linux user would not mean as a folder here.
        QTest::newRow("drive path") << int(Language::English) << "OK"
                                    << "Cannot copy into the target folder"
                                    << "C:\\Users\\me"
                                    << "C:\\Users\\me: This is a Windows drive path";
        QTest::newRow("network name, Russian") << int(Language::Russian) << "OK"
                                               << "Невозможно копировать в целевой каталог"
                                               << "\\\\server\\share\\x"
                                               << "\\\\server\\share\\x: Это сетевое имя Windows";
        QTest::newRow("unknown user")
            << int(Language::English) << "OK"
            << "Cannot copy into the target folder"
            << "~no-such-user-dravolin/x"
            << "~no-such-user-dravolin/x: There is no user named no-such-user-dravolin";
    }

    void aFolderThatCannotBePreparedIsExplained() {
        QFETCH(int, language);
        QFETCH(QString, closing);
        QFETCH(QString, words);
        QFETCH(QString, typed);
        QFETCH(QString, reason);
        TempFolder temp;
        QFile file(temp.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString target = typed.isEmpty() ? temp.filePath(QStringLiteral("file/sub")) : typed;

        Desk desk(static_cast<Language>(language));
        desk.machine.fakes.machine->AddDrive('E');
        desk.machine.fakes.machine->InsertDisc('E', {"DISC", 1, {{"a.txt", "a"}}, {}});
        // A ticked drive without a disc: its media test marks every poll.
        desk.machine.fakes.machine->AddDrive('F');

        QWidget* parent = nullptr;
        QString text;
        bool shown = false;
        int ticksInside = 0;
        desk.Run([&](QtDialog& window, CCopyDlg& core) {
            window.Target().lineEdit()->setText(target);
            window.DriveTree().topLevelItem(0)->setCheckState(0, Qt::Checked);
            window.DriveTree().topLevelItem(1)->setCheckState(0, Qt::Checked);
            core.OnTimer(core.m_nTimer);
            desk.machine.fakes.threads.FinishAll();

            int before = -1;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                if (!shown) {
                    shown = true;
                    parent = box->parentWidget();
                    text = box->text();
                    before = MediaTestsOfF(desk.machine.fakes.log);
                }
                // The dialog's timer keeps ticking inside the box's loop.
                ticksInside = MediaTestsOfF(desk.machine.fakes.log) - before;
                if (ticksInside == 0) return;
                if (closing == QLatin1String("OK")) {
                    box->button(QMessageBox::Ok)->click();
                } else if (closing == QLatin1String("Escape")) {
                    QTest::keyClick(box, Qt::Key_Escape);
                } else {
                    box->close();
                }
            });
            watch.start(20);
            // A deadline, not a wait: a box left open must not hang the test.
            QTimer::singleShot(20000, &window, [] {
                if (QWidget* box = QApplication::activeModalWidget()) box->close();
            });
            core.OnTimer(core.m_nTimer);  // E's disc is there: its folder is prepared
            watch.stop();

            QVERIFY(!IsChecked(*core.m_wndDrives, 0));
            QVERIFY(IsChecked(*core.m_wndDrives, 1));
            QCOMPARE(core.m_entries[0]->state, Waiting);
            QCOMPARE(window.Target().count(), 0);
            QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(&window));
            QVERIFY(parent == &window);
        });
        QVERIFY(shown);
        QVERIFY2(text.contains(words), qPrintable(text));
        QVERIFY2(text.contains(target), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
        QVERIFY(ticksInside > 0);
    }
};

QTEST_MAIN(TargetPreparationTest)
#include "TargetPreparationTest.moc"

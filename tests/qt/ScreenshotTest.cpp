// Pictures of the dialog in English and Russian with a drive in every state, written under the
// build folder for a look by eye; the test checks what can be checked in the picture itself.
#include <QDir>
#include <QImage>
#include <QtTest>
#include "engine/DriveList.h"
#include "tests/qt/QtTestPlatform.h"

using namespace dravolin;
using namespace dravolin::qt;

class ScreenshotTest : public QObject {
    Q_OBJECT

  private slots:
    void dialogWithEveryStatus_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("file");
        QTest::newRow("English") << int(Language::English) << "dialog-en.png";
        QTest::newRow("Russian") << int(Language::Russian) << "dialog-ru.png";
    }

    void dialogWithEveryStatus() {
        QFETCH(int, language);
        QFETCH(QString, file);
        test::QtTestPlatform machine(static_cast<Language>(language));
        fake::FakeMachine& drives = *machine.fakes.machine;
        drives.AddDrive('D');
        drives.AddDrive('E');
        drives.AddDrive('F').hasShellIcon = false;
        drives.AddDrive('G');
        drives.InsertDisc('E', fake::FakeDisc{"PHOTOS_2003", 0x11, {}, {}});
        drives.InsertDisc('G', fake::FakeDisc{"", 0x22, {}, {}});
        machine.fakes.registry.SetValue(win::RootKey::CurrentUser, "Software\\Dravolin",
                                        "Destination00", win::kRegSz, "/home/user/Discs/");
        machine.fakes.registry.SetValue(win::RootKey::CurrentUser, "Software\\Dravolin",
                                        "Destination01", win::kRegSz, "/home/user/Archive/");
        const QString path = QStringLiteral(DRAVOLIN_SCREENSHOTS "/") + file;
        QSize shot;
        machine.RunWithCore([&](QtDialog& window, CCopyDlg& core) {
            // Rows in the order Idle, Ejecting, Waiting, Copying; the busy ones ticked.
            for (int row = 1; row < 4; ++row) {
                UpdateDriveRow(core, row, static_cast<DriveState>(row));
                window.DriveTree().topLevelItem(row)->setCheckState(0, Qt::Checked);
            }
            window.DriveTree().topLevelItem(3)->setSelected(true);
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(QDir().mkpath(QStringLiteral(DRAVOLIN_SCREENSHOTS)));
            const QPixmap picture = window.grab();
            QVERIFY(picture.save(path));
            shot = picture.size();
            // The window was not closed by the poll meanwhile: no timer tick ran before now.
            QCOMPARE(window.DriveTree().topLevelItem(2)->text(1).isEmpty(), false);
        });
        const QImage image(path);
        QCOMPARE(image.size(), shot);
        QVERIFY(!image.isNull());
    }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"

// The folder picker behind Browse: what the desktop's dialog chose becomes the target byte for
// byte, and a cancelled dialog changes nothing.
#include <QFileDialog>
#include "app/Resource.h"
#include "tests/qt/TargetDesk.h"

using namespace dravolin;
using namespace dravolin::qt;
using namespace dravolin::qt::test;

class TargetPickerTest : public QObject {
    Q_OBJECT

  private slots:
    // The picker hands back what the desktop's dialog chose, byte for byte: a portal's URL
    // carries the bytes escaped; a dialog that decodes names as Qt does gives U+FFFD for them,
    // and the one folder that decodes so is the one chosen.
    void aPickedFolderKeepsItsBytes_data() {
        QTest::addColumn<bool>("escaped");
        QTest::newRow("escaped URL") << true;
        QTest::newRow("decoded with U+FFFD") << false;
    }

    void aPickedFolderKeepsItsBytes() {
        QFETCH(bool, escaped);
        TempFolder temp;
        const QByteArray latin = Bytes(temp.path()) + "/caf\xE9";
        QVERIFY(::mkdir(latin.constData(), 0777) == 0);
        const QUrl chosen = escaped ? QUrl::fromEncoded("file://" + latin.toPercentEncoding("/"))
                                    : QUrl::fromLocalFile(QString::fromUtf8(latin));
        QUrl start;
        Desk desk(Language::English, [&](QWidget*, const QString&, const QUrl& from) {
            start = from;
            return chosen;
        });
        desk.Run([&](QtDialog& window, CCopyDlg&) {
            window.Button(IDC_BROWSE)->click();
            QCOMPARE(window.Target().count(), 1);
        });
        QVERIFY(start.isLocalFile());
        QCOMPARE(desk.Stored(0), latin + "/");
        QCOMPARE(Tree(temp.path()), QByteArrayList({"caf\xE9"}));
    }

    // Where two folders decode to the same text, the choice names neither for sure: nothing
    // changes, and no third folder is made later.
    void anAmbiguousChoiceChangesNothing() {
        TempFolder temp;
        const QByteArray base = Bytes(temp.path());
        QVERIFY(::mkdir((base + "/caf\xE9").constData(), 0777) == 0);
        QVERIFY(::mkdir((base + "/caf\xE8").constData(), 0777) == 0);
        Desk desk(Language::English, [&](QWidget*, const QString&, const QUrl&) {
            return QUrl::fromLocalFile(temp.path() + QStringLiteral("/caf\uFFFD"));
        });
        desk.Run([&](QtDialog& window, CCopyDlg&) {
            window.Target().lineEdit()->setText(QStringLiteral("/kept"));
            window.Button(IDC_BROWSE)->click();
            QCOMPARE(window.Target().count(), 0);
            QCOMPARE(window.Target().lineEdit()->text(), QStringLiteral("/kept"));
        });
        QCOMPARE(desk.Stored(0), QByteArray("/kept/"));
    }

    // Qt's own folder dialog, as the user drives it: a folder typed into its name field and
    // Enter become the target; Escape leaves everything as it was.
    void qtsFolderDialogChoosesTheTarget_data() {
        QTest::addColumn<bool>("choose");
        QTest::newRow("chosen") << true;
        QTest::newRow("Escape") << false;
    }

    void qtsFolderDialogChoosesTheTarget() {
        QFETCH(bool, choose);
        TempFolder temp;
        const QString folder = temp.filePath(QStringLiteral("Диски"));
        QVERIFY(QDir().mkdir(folder));
        Desk desk;
        QWidget* owner = nullptr;
        QString title;
        desk.Run([&](QtDialog& window, CCopyDlg&) {
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!chooser) return;
                watch.stop();
                owner = chooser->parentWidget();
                title = chooser->windowTitle();
                auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (!choose || !name) {
                    QTest::keyClick(chooser, Qt::Key_Escape);
                    return;
                }
                name->setText(folder);
                QTest::keyClick(name, Qt::Key_Return);
            });
            watch.start(20);
            QTimer::singleShot(20000, &window, [] {
                if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    chooser->reject();
                }
            });
            window.Target().lineEdit()->setText(QStringLiteral("/kept"));
            window.Button(IDC_BROWSE)->click();
            QVERIFY(owner == &window);
            QCOMPARE(window.Target().lineEdit()->text(),
                     choose ? folder + "/" : QStringLiteral("/kept"));
        });
        QCOMPARE(title, QStringLiteral("Select target folder and press \"OK\" button."));
        QCOMPARE(desk.Stored(0), choose ? Bytes(folder + "/") : QByteArray("/kept/"));
    }
};

QTEST_MAIN(TargetPickerTest)
#include "TargetPickerTest.moc"

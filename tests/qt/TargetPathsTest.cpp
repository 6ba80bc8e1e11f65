// Target folders as a Linux user writes them, typed into the real combo box, kept in the
// history and opened: "/" for the core's backslash, "~" and relative names in the home folder,
// case-sensitive entries, and names that are not UTF-8 kept byte for byte.
#include <QDesktopServices>
#include <random>
#include "app/Resource.h"
#include "platform/qt/PathText.h"
#include "tests/qt/TargetDesk.h"

using namespace dravolin;
using namespace dravolin::qt;
using namespace dravolin::qt::test;

// Receives what the program hands to the desktop to open.
class OpenedUrls : public QObject {
    Q_OBJECT

  public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;

  public slots:
    void open(const QUrl& url) { urls << url; }
};

class TargetPathsTest : public QObject {
    Q_OBJECT

  private slots:
    // Any bytes survive the way through the controls' text and back; UTF-8 shows as itself.
    void pathTextKeepsEveryByte_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("ASCII") << QByteArray("/home/u/discs/") << true;
        QTest::newRow("Cyrillic") << QByteArray("/д/Диски") << true;
        QTest::newRow("four bytes") << QByteArray("/\xF0\x9F\x92\xBF") << true;
        QTest::newRow("private use") << QByteArray("/\xEE\x80\x80") << true;
        QTest::newRow("Latin-1") << QByteArray("/caf\xE9/") << false;
        QTest::newRow("CP1251") << QByteArray("/\xC4\xE8\xF1\xEA\xE8") << false;
        QTest::newRow("cut short") << QByteArray("/\xD0") << false;
        QTest::newRow("overlong slash") << QByteArray("/\xC0\xAF") << false;
        QTest::newRow("encoded surrogate") << QByteArray("/\xED\xB3\xA9") << false;
        QTest::newRow("past U+10FFFF") << QByteArray("/\xF4\x90\x80\x80") << false;
        QTest::newRow("lone continuation") << QByteArray("\x80\xBF/") << false;
    }

    void pathTextKeepsEveryByte() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, utf8);
        const QString text = TextOfPath(bytes.toStdString());
        QCOMPARE(QByteArray::fromStdString(PathOfText(text)), bytes);
        QCOMPARE(text == QString::fromUtf8(bytes), utf8);
        QVERIFY(!text.contains(QChar(QChar::ReplacementCharacter)));
    }

    void pathTextKeepsRandomBytes() {
        std::mt19937 random(20261207);
        std::uniform_int_distribution<int> byte(1, 255);
        for (int round = 0; round < 20000; ++round) {
            std::string bytes(static_cast<std::size_t>(round % 12), '\0');
            for (char& c : bytes) c = static_cast<char>(byte(random));
            QCOMPARE(QByteArray::fromStdString(PathOfText(TextOfPath(bytes))),
                     QByteArray::fromStdString(bytes));
        }
    }

    // The core ends a target in a backslash; on Linux the user sees and gets "/" instead, and
    // "~" and relative names lie in the home folder.
    void typedTargetsBecomeTheFoldersALinuxUserMeans() {
        TempFolder home;
        TempFolder started;
        HomeAt at(home.path());
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(started.path());
        Desk desk;
        desk.machine.fakes.machine->AddDrive('E');
        desk.Run([&](QtDialog& window, CCopyDlg& core) {
            TickDriveE(window, core);
            QLineEdit& edit = *window.Target().lineEdit();
            Type(edit, QStringLiteral("discs"));
            desk.TakeDisc(core);
            QCOMPARE(edit.text(), home.path() + "/discs/");
            QCOMPARE(window.Target().itemText(0), home.path() + "/discs/");

            Type(edit, QStringLiteral("batch2"));
            desk.TakeDisc(core);
            QCOMPARE(edit.text(), home.path() + "/discs/batch2/");

            // A backslash typed is a separator too.
            edit.setText(home.path() + "\\discs\\");
            Type(edit, QStringLiteral("/batch3"));
            desk.TakeDisc(core);
            QCOMPARE(edit.text(), home.path() + "/discs/batch3/");

            edit.clear();
            Type(edit, QStringLiteral("~/x"));
            desk.TakeDisc(core);
            QCOMPARE(edit.text(), home.path() + "/x/");
            QVERIFY(IsChecked(*core.m_wndDrives, 0));

            for (int i = 0; i < window.Target().count(); ++i) {
                QVERIFY2(!window.Target().itemText(i).contains(QLatin1Char('\\')),
                         qPrintable(window.Target().itemText(i)));
            }
        });
        QDir::setCurrent(cwd);
        QCOMPARE(Tree(home.path()), QByteArrayList({"discs", "discs/batch2", "discs/batch3", "x"}));
        QCOMPARE(Tree(started.path()), QByteArrayList());
        QCOMPARE(desk.Stored(0), Bytes(home.path() + "/x/"));
        QCOMPARE(desk.Stored(1), Bytes(home.path() + "/discs/batch3/"));
        QCOMPARE(desk.Stored(2), Bytes(home.path() + "/discs/batch2/"));
        QCOMPARE(desk.Stored(3), Bytes(home.path() + "/discs/"));
    }

    // What the close step saves and ">" opens for a typed text.
    void homeAndRelativeTargets_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("folder");  // below the home folder
        QTest::newRow("tilde") << "~"
                               << "";
        QTest::newRow("tilde slash") << "~/discs"
                                     << "/discs";
        QTest::newRow("tilde backslash") << "~\\discs\\"
                                         << "/discs";
        QTest::newRow("relative") << "discs/a"
                                  << "/discs/a";
        QTest::newRow("relative with blanks") << "  discs\\ "
                                              << "/discs";
    }

    void homeAndRelativeTargets() {
        QFETCH(QString, typed);
        QFETCH(QString, folder);
        TempFolder home;
        HomeAt at(home.path());
        OpenedUrls opened;
        Desk desk;
        desk.Run([&](QtDialog& window, CCopyDlg&) {
            window.Target().lineEdit()->setText(typed);
            window.Button(IDC_OPEN_TARGET)->click();
        });
        QCOMPARE(opened.urls.size(), 1);
        QCOMPARE(opened.urls.front(), QUrl::fromLocalFile(home.path() + folder));
        QCOMPARE(desk.Stored(0), Bytes(home.path() + folder + "/"));
    }

    // History entries written with the core's backslash come back in the Linux form, and a
    // folder typed with or without its last separator is the entry it names.
    void oneFolderIsOneEntryWhateverItsSeparators_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("bare") << "/a/b";
        QTest::newRow("slash") << "/a/b/";
        QTest::newRow("backslash") << "/a/b\\";
        QTest::newRow("mixed and blanks") << " /a/b\\/ ";
        QTest::newRow("inner backslash") << "/a\\b";
    }

    void oneFolderIsOneEntryWhateverItsSeparators() {
        QFETCH(QString, typed);
        Desk desk;
        desk.Store(0, "/c\\");
        desk.Store(1, "/a/b\\");
        desk.Run([&](QtDialog& window, CCopyDlg&) {
            QCOMPARE(window.Target().count(), 2);
            QCOMPARE(window.Target().itemText(0), QStringLiteral("/c/"));
            QCOMPARE(window.Target().itemText(1), QStringLiteral("/a/b/"));
            QCOMPARE(window.Target().lineEdit()->text(), QStringLiteral("/c/"));
            window.Target().lineEdit()->setText(typed);
        });
        QCOMPARE(desk.Stored(0), QByteArray("/a/b/"));
        QCOMPARE(desk.Stored(1), QByteArray("/c/"));
        QCOMPARE(desk.Stored(2), QByteArray("<missing>"));
    }

    // Linux names are case-sensitive: entries that differ in case are different folders.
    void entriesThatDifferInCaseAreDifferentFolders() {
        Desk desk;
        desk.Store(0, "/srv/Discs/");
        desk.Store(1, "/srv/discs/");
        desk.Store(2, "/srv/DISCS\\");
        desk.Run([&](QtDialog& window, CCopyDlg&) {
            QCOMPARE(window.Target().count(), 3);
            window.Target().lineEdit()->setText(QStringLiteral("/srv/discs"));
        });
        QCOMPARE(desk.Stored(0), QByteArray("/srv/discs/"));
        QCOMPARE(desk.Stored(1), QByteArray("/srv/Discs/"));
        QCOMPARE(desk.Stored(2), QByteArray("/srv/DISCS/"));
    }

    // A name in a legacy encoding comes back from the combo box and the history byte for byte,
    // and the folder made for it is the one it names.
    void namesThatAreNotUtf8KeepTheirBytes() {
        TempFolder temp;
        const QByteArray latin = Bytes(temp.path()) + "/caf\xE9";
        OpenedUrls opened;
        Desk desk;
        desk.Store(0, latin + "/");
        desk.machine.fakes.machine->AddDrive('E');
        desk.Run([&](QtDialog& window, CCopyDlg& core) {
            QLineEdit& edit = *window.Target().lineEdit();
            QVERIFY(!edit.text().contains(QChar(QChar::ReplacementCharacter)));
            window.Button(IDC_OPEN_TARGET)->click();
            TickDriveE(window, core);
            Type(edit, QStringLiteral("batch"));
            desk.TakeDisc(core);
            QVERIFY(IsChecked(*core.m_wndDrives, 0));
        });
        QVERIFY(IsFolder(latin + "/batch"));
        QCOMPARE(Tree(temp.path()), QByteArrayList({"caf\xE9", "caf\xE9/batch"}));
        QCOMPARE(desk.Stored(0), latin + "/batch/");
        QCOMPARE(desk.Stored(1), latin + "/");
        QCOMPARE(opened.urls.size(), 1);
        QCOMPARE(opened.urls.front().toEncoded(), "file://" + latin.toPercentEncoding("/"));
    }
};

QTEST_MAIN(TargetPathsTest)
#include "TargetPathsTest.moc"

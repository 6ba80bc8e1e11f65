// The target folder as a Linux user meets it: typed into the real combo box, picked, opened and
// kept in the history, with the real folder preparation making folders on disk.
#include <stdlib.h>
#include <sys/stat.h>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <random>
#include "app/Resource.h"
#include "engine/DriveList.h"
#include "platform/linux/LinuxPathPreparer.h"
#include "platform/linux/QuietServices.h"
#include "platform/qt/PathText.h"
#include "platform/qt/QtPathPreparer.h"
#include "tests/qt/QtTestPlatform.h"

using namespace dravolin;
using namespace dravolin::qt;

namespace {

constexpr const char* kKey = "Software\\Dravolin";

// Points $HOME elsewhere for the life of the object.
class HomeAt {
  public:
    explicit HomeAt(const QString& home)
        : old_(qgetenv("HOME")), had_(qEnvironmentVariableIsSet("HOME")) {
        qputenv("HOME", QFile::encodeName(home));
    }
    ~HomeAt() {
        if (had_) {
            qputenv("HOME", old_);
        } else {
            qunsetenv("HOME");
        }
    }
    HomeAt(const HomeAt&) = delete;
    HomeAt& operator=(const HomeAt&) = delete;

  private:
    QByteArray old_;
    bool had_;
};

bool IsFolder(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray Bytes(const QString& path) {
    return path.toUtf8();
}

// A fresh folder, removed with everything in it. Qt's QTemporaryDir cannot remove a name that
// is not UTF-8, nor can QDir list one.
class TempFolder {
  public:
    TempFolder() {
        QByteArray name = QFile::encodeName(QDir::tempPath()) + "/dravolin-XXXXXX";
        if (::mkdtemp(name.data())) path_ = QFile::decodeName(name);
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.isEmpty()) std::filesystem::remove_all(path_.toStdString(), ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const QString& path() const { return path_; }
    QString filePath(const QString& name) const { return path_ + QLatin1Char('/') + name; }

  private:
    QString path_;
};

// Every name below `root` as raw bytes, relative and sorted.
QByteArrayList Tree(const QString& root) {
    QByteArrayList names;
    const std::filesystem::path base = root.toStdString();
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base, error)) {
        names << QByteArray::fromStdString(entry.path().lexically_relative(base).native());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The Qt front end on the fake machine, with the Linux folder preparation (folders on disk),
// Qt's folder picker and open in place of the fakes. The picker's dialog is given by the test:
// Qt's own dialog cannot show a name that is not UTF-8.
struct Desk {
    explicit Desk(Language language = Language::English, QtFolderPicker::Chooser chooser = {})
        : machine(language),
          preparer(folders, language),
          picker(std::move(chooser)),
          platform{machine.desktop,
                   machine.host,
                   machine.resources,
                   *machine.fakes.machine,
                   machine.shellInfo,
                   machine.registry,
                   preparer,
                   codePage,
                   machine.fakes.autoComplete,
                   picker,
                   shellOpen,
                   machine.fakes.contextMenu,
                   machine.threads,
                   machine.fakes.Get().workers} {}

    // Runs the dialog modally; `whileOpen` acts on it once its loop runs.
    void Run(const std::function<void(QtDialog&, CCopyDlg&)>& whileOpen) {
        CCopyDlg dialog(platform);
        QTimer::singleShot(0, [this, whileOpen, &dialog] {
            QtDialog* window = machine.host.Current();
            if (!window) return;
            whileOpen(*window, dialog);
            if (machine.host.Current() == window && window->isVisible()) window->done(0);
        });
        dialog.DoModal();
    }

    void Store(int index, const QByteArray& text) {
        machine.fakes.registry.SetValue(
            win::RootKey::CurrentUser, kKey,
            QStringLiteral("Destination%1").arg(index, 2, 10, QLatin1Char('0')).toStdString(),
            win::kRegSz, text.toStdString());
    }
    // The bytes of a stored value, "<missing>" for none.
    QByteArray Stored(int index) {
        const Registry::Value value = machine.fakes.registry.GetValue(
            win::RootKey::CurrentUser, kKey,
            QStringLiteral("Destination%1").arg(index, 2, 10, QLatin1Char('0')).toStdString(), 260);
        if (value.result != win::kErrorSuccess) return "<missing>";
        return QByteArray::fromStdString(value.data);
    }

    // Puts a disc into drive E and runs its cycle until the disc is taken: the target prepared
    // and the copy started, or the drive unticked.
    void TakeDisc(CCopyDlg& core) {
        DriveEntry& entry = *core.m_entries.at(0);
        const std::uint32_t serial = ++discs;
        machine.fakes.machine->WithDrive('E', [&](fake::FakeDrive& drive) {
            drive.trayOpen = false;
            drive.disc = fake::FakeDisc{"DISC", serial, {{"a.txt", "a"}}, {}};
        });
        for (int pass = 0; pass < 8; ++pass) {
            const DriveState before = entry.state;
            core.OnTimer(core.m_nTimer);
            machine.fakes.threads.FinishAll();
            if (before == Waiting && (entry.state == Copying || !IsChecked(*core.m_wndDrives, 0))) {
                return;
            }
            // The eject opened the tray: the next disc goes in.
            machine.fakes.machine->WithDrive('E', [&](fake::FakeDrive& drive) {
                if (drive.trayOpen) {
                    drive.trayOpen = false;
                    drive.disc = fake::FakeDisc{"DISC", serial, {{"a.txt", "a"}}, {}};
                }
            });
        }
        QFAIL("the disc was never taken");
    }

    test::QtTestPlatform machine;
    lnx::LinuxPathPreparer folders;
    QtPathPreparer preparer;
    lnx::Utf8CodePage codePage;
    QtFolderPicker picker;
    QtShellOpen shellOpen;
    Platform platform;
    std::uint32_t discs = 0;
};

// Drive E with a disc, ticked; the poll is left to the test.
void TickDriveE(QtDialog& window, CCopyDlg& core) {
    window.KillTimer(core.m_nTimer);
    window.DriveTree().topLevelItem(0)->setCheckState(0, Qt::Checked);
}

void Type(QLineEdit& edit, const QString& text) {
    edit.setFocus();
    edit.end(false);
    QTest::keyClicks(&edit, text);
}

int MediaTestsOfF(const fake::CallLog& log) {
    return static_cast<int>(log.Matching("DeviceIoControl \\\\.\\F: 0x74800").size());
}

}  // namespace

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

class TargetFolderTest : public QObject {
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

    // A folder that cannot be made is explained on the dialog, naming it, before the drive is
    // unticked; the box ends by its button, Escape or its close box, and the poll goes on
    // while it is open.
    void aFolderThatCannotBePreparedIsExplained_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("closing");
        QTest::addColumn<QString>("words");
        QTest::newRow("English, OK") << int(Language::English) << "OK"
                                     << "Cannot copy into the target folder";
        QTest::newRow("English, Escape") << int(Language::English) << "Escape"
                                         << "Cannot copy into the target folder";
        QTest::newRow("Russian, close box") << int(Language::Russian) << "close"
                                            << "Невозможно копировать в целевой каталог";
    }

    void aFolderThatCannotBePreparedIsExplained() {
        QFETCH(int, language);
        QFETCH(QString, closing);
        QFETCH(QString, words);
        TempFolder temp;
        QFile file(temp.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString target = temp.filePath(QStringLiteral("file/sub"));

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
        QVERIFY2(text.contains(QStringLiteral("Not a directory")), qPrintable(text));
        QVERIFY(ticksInside > 0);
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
};

QTEST_MAIN(TargetFolderTest)
#include "TargetFolderTest.moc"

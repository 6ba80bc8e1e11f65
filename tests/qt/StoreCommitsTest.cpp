// The program's per-user store under the real dialog: the real LinuxRegistry behind it, written
// once per event by the program's own StoreCommits on the registry's writer thread, a disk
// that hangs never holding up the dialog, and a store that cannot be written told once, on
// the dialog.
#include <sys/stat.h>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include "platform/linux/store/LinuxRegistry.h"
#include "platform/qt/product/StoreCommits.h"
#include "tests/linux/store/StoreLockHolder.h"
#include "tests/linux/store/StoreRewrites.h"
#include "tests/qt/QtTestPlatform.h"

using namespace dravolin;
using namespace dravolin::qt;

namespace {

const std::string kKey = "Software\\Dravolin";

std::string ValueName(int index) {
    return "Destination" + std::string(index < 10 ? "0" : "") + std::to_string(index);
}

// Closes every message box that opens, noting its text and owner.
class BoxWatch {
  public:
    BoxWatch() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            texts.push_back(box->text());
            owners.push_back(box->parentWidget());
            box->done(QMessageBox::Ok);
        });
        timer_.start(10);
    }
    QStringList texts;
    std::vector<QWidget*> owners;

  private:
    QTimer timer_;
};

}  // namespace

class StoreCommitsTest : public QObject {
    Q_OBJECT

  private slots:
    void aSaveIsOneWriteAndTheTeardownAnother() {
        QTemporaryDir temp;
        const std::string folder = temp.path().toStdString() + "/dravolin";
        {
            // Twenty entries from an earlier run.
            lnx::LinuxRegistry earlier(folder);
            for (int i = 0; i < 20; ++i) {
                earlier.SetValue(win::RootKey::CurrentUser, kKey, ValueName(i), win::kRegSz,
                                 "/old/" + std::to_string(i) + "/");
            }
            QCOMPARE(earlier.Flush(), 0);
        }
        lnx::test::StoreRewrites rewrites(folder);
        QVERIFY(rewrites.Watching());

        test::QtTestPlatform machine;
        machine.fakes.folderPicker.choice = "/srv/Discs";
        lnx::LinuxRegistry registry(folder);
        StoreCommits commits(registry, machine.host, Language::English);
        machine.registry.Wrap(registry);
        int afterClick = -1;
        machine.Run([&](QtDialog& dialog) {
            QCOMPARE(dialog.Target().count(), 20);
            QCOMPARE(rewrites.Take(), 0);
            dialog.Button(3)->click();  // Browse: ApplyDestination saves the history
            afterClick = rewrites.Take();
            QVERIFY(registry.HasPendingWrites());
            QTRY_VERIFY(!registry.HasPendingWrites());
        });
        QCOMPARE(afterClick, 0);
        // The click's save was one write; the teardown's waits for the program's last commit.
        QCOMPARE(rewrites.Take(), 1);
        QVERIFY(registry.HasPendingWrites());
        commits.CommitNow();
        QCOMPARE(rewrites.Take(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(rewrites.Take(), 0);

        lnx::LinuxRegistry later(folder);
        const auto value = [&](int index) {
            return later.GetValue(win::RootKey::CurrentUser, kKey, ValueName(index), 260).data;
        };
        QCOMPARE(value(0), std::string("/srv/Discs/"));
        QCOMPARE(value(1), std::string("/old/0/"));
        QCOMPARE(value(19), std::string("/old/18/"));
    }

    void aSaveWhileTheDiskHangsLeavesTheDialogAnswering() {
        QTemporaryDir temp;
        const std::string folder = temp.path().toStdString() + "/dravolin";
        QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
        test::QtTestPlatform machine;
        machine.fakes.folderPicker.choice = "/srv/Discs";
        lnx::LinuxRegistry registry(folder);
        StoreCommits commits(registry, machine.host, Language::English);
        machine.registry.Wrap(registry);
        // After the registry: gone first, so that a failed check does not leave the
        // registry's teardown waiting for the lock.
        lnx::test::StoreLockHolder disk(folder);
        QVERIFY(disk.Holding());
        const auto stored = [&] {
            return registry.GetValue(win::RootKey::CurrentUser, kKey, ValueName(0), 260).data;
        };
        machine.Run([&](QtDialog& dialog) {
            dialog.Button(3)->click();  // Browse: ApplyDestination saves the history
            {
                lnx::test::ReleaseIfLate guard(disk);
                QCoreApplication::processEvents();  // the event's commit
                QVERIFY2(guard.Returned(), "the UI thread waited for the store's write");
            }
            QVERIFY(disk.WaitForWaiter());
            QVERIFY(registry.HasPendingWrites());
            QCOMPARE(stored(), std::string("/srv/Discs/"));
            QCOMPARE(dialog.Target().itemText(0), QStringLiteral("/srv/Discs/"));
            disk.Release();
            QTRY_VERIFY(!registry.HasPendingWrites());
        });
        commits.CommitNow();
        QCOMPARE(lnx::LinuxRegistry(folder)
                     .GetValue(win::RootKey::CurrentUser, kKey, ValueName(0), 260)
                     .data,
                 std::string("/srv/Discs/"));
    }

    void aStoreThatCannotBeWrittenIsToldOnceOnTheDialog() {
        QTemporaryDir temp;
        // A file where the store's folder belongs.
        QFile blocker(temp.filePath(QStringLiteral("dravolin")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const std::string folder = blocker.fileName().toStdString();

        test::QtTestPlatform machine;
        lnx::LinuxRegistry registry(folder);
        StoreCommits commits(registry, machine.host, Language::English);
        machine.registry.Wrap(registry);
        BoxWatch boxes;
        QWidget* dialogWidget = nullptr;
        machine.Run([&](QtDialog& dialog) {
            dialogWidget = &dialog;
            for (const char* choice : {"/srv/One", "/srv/Two"}) {
                machine.fakes.folderPicker.choice = choice;
                dialog.Button(3)->click();
                // The commit, and, once the writer has failed, the box.
                QTRY_COMPARE(boxes.texts.size(), 1);
            }
            QCOMPARE(dialog.Target().itemText(0), QStringLiteral("/srv/Two/"));
        });
        commits.CommitNow();  // the teardown's save fails too, and every failure is told
        QCoreApplication::processEvents();

        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(boxes.owners.front(), dialogWidget);
        const QString text = boxes.texts.front();
        QVERIFY2(text.contains(QString::fromStdString(folder + "/store")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Not a directory")), qPrintable(text));
    }

    // What the box says of a store it could not save or found damaged, once per run each, in
    // both languages.
    void whatIsFoundAtTheStoresPlaceIsToldOnce_data() {
        QTest::addColumn<bool>("pipe");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("told");
        QTest::newRow("pipe") << true << int(Language::English)
                              << QStringLiteral("It is not a regular file");
        QTest::newRow("pipe, Russian")
            << true << int(Language::Russian) << QStringLiteral("Это не обычный файл");
        QTest::newRow("damaged") << false << int(Language::English)
                                 << QStringLiteral("was damaged:\n%1\n\n") +
                                        QStringLiteral("The folders that could still be read");
        QTest::newRow("damaged, Russian")
            << false << int(Language::Russian) << QStringLiteral("был повреждён:\n%1");
    }
    void whatIsFoundAtTheStoresPlaceIsToldOnce() {
        QFETCH(bool, pipe);
        QFETCH(int, language);
        QFETCH(QString, told);
        QTemporaryDir temp;
        const std::string folder = temp.path().toStdString() + "/dravolin";
        const std::string store = folder + "/store";
        QVERIFY(QDir().mkpath(QString::fromStdString(folder)));
        if (pipe) {
            QCOMPARE(::mkfifo(store.c_str(), 0600), 0);
        } else {
            QFile file(QString::fromStdString(store));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a store at all");
        }
        lnx::LinuxRegistry registry(folder);
        QtDialogHost host(Language(language), nullptr);
        StoreCommits commits(registry, host, Language(language));
        BoxWatch boxes;
        for (const char* value : {"/x/", "/y/"}) {
            registry.SetValue(win::RootKey::CurrentUser, kKey, ValueName(0), win::kRegSz, value);
            registry.Flush();
        }
        QCoreApplication::processEvents();
        QCOMPARE(boxes.texts.size(), 1);
        const QString text = boxes.texts.front();
        QVERIFY2(text.contains(QString::fromStdString(store)), qPrintable(text));
        told.replace(QStringLiteral("%1"), QString::fromStdString(store));
        QVERIFY2(text.contains(told), qPrintable(text));
        if (!pipe) {
            QVERIFY2(text.endsWith(QString::fromStdString(store + ".bak.1")), qPrintable(text));
        }
    }

    void theMessageSpeaksRussianUnderARussianLocale() {
        QTemporaryDir temp;
        QFile blocker(temp.filePath(QStringLiteral("dravolin")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        lnx::LinuxRegistry registry(blocker.fileName().toStdString());
        QtDialogHost host(Language::Russian, nullptr);
        StoreCommits commits(registry, host, Language::Russian);
        BoxWatch boxes;
        registry.SetValue(win::RootKey::CurrentUser, kKey, ValueName(0), win::kRegSz, "/x/");
        // Told by the writer's posted call alone: nothing commits again.
        QTRY_COMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.front().startsWith(QStringLiteral("Не удаётся сохранить")),
                 qPrintable(boxes.texts.front()));
        QCOMPARE(boxes.owners.front(), nullptr);  // no dialog: a box of its own
    }
};

QTEST_MAIN(StoreCommitsTest)
#include "StoreCommitsTest.moc"

// The drive menu of the dravolin program (QtContextMenu on LinuxDriveActions), opened by a right
// click on a row of the real dialog: its labels come from what workers learnt and follow the
// drive while it is open, its commands run on workers under the wait cursor, and the UI thread
// never touches a drive.
#include <QDesktopServices>
#include <QMenu>
#include <QtTest>
#include "tests/qt/ProgramOnSeams.h"

using namespace dravolin;
using namespace dravolin::qt;
using namespace dravolin::qt::test;

namespace {

QMenu* OpenMenu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QAction* ActionNamed(QMenu& menu, const char* text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == QString::fromUtf8(text)) return action;
    }
    return nullptr;
}

// Right-clicks row `row`; `use` gets the menu once it is shown and may choose an action with
// Choose. The menu is closed afterwards if it is still open.
void WithMenu(QtDialog& dialog, int row, const std::function<void(QMenu&)>& use) {
    QTreeWidget& tree = dialog.DriveTree();
    const QPoint at = tree.visualItemRect(tree.topLevelItem(row)).center();
    QCursor::setPos(tree.viewport()->mapToGlobal(at));
    QTimer::singleShot(0, [&] {
        SpinUntil([] { return OpenMenu() != nullptr; });
        if (QMenu* menu = OpenMenu()) use(*menu);
        if (QMenu* menu = OpenMenu()) menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &event);
}

// Chooses as a user does with the keyboard: the menu closes and its command starts.
void Choose(QMenu& menu, QAction* action) {
    menu.setActiveAction(action);
    QTest::keyClick(&menu, Qt::Key_Return);
}

bool WaitCursorShown() {
    return QApplication::overrideCursor() &&
           QApplication::overrideCursor()->shape() == Qt::WaitCursor;
}

}  // namespace

class DriveMenuTest : public QObject {
    Q_OBJECT

  public slots:
    // The desktop's file manager, as far as the test is concerned.
    void OpenUrl(const QUrl& url) { opened_.append(url); }

  private:
    QList<QUrl> opened_;

  private slots:
    void init() {
        opened_.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenUrl");
    }
    void cleanup() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    // The drive was last seen with a disc; its tray is open now. The menu opens at once with
    // what was known, takes the drive's answer while open, and its command runs on a worker
    // while the dialog goes on answering, under the wait cursor.
    void theLabelsFollowTheDriveAndTheCommandRunsOnAWorker() {
        ProgramOnSeams seams;
        lnx::test::Gate closing;
        std::atomic<bool> inCommand{false};
        seams.cdrom->onIoctl = [&](unsigned long request) {
            if (request != CDROMCLOSETRAY) return;
            inCommand = true;
            closing.Wait();
        };
        seams.Run([&](QtDialog& dialog, CCopyDlg& core) {
            QTRY_VERIFY(seams.Settled());  // the set-up's refresh: a disc, tray closed
            seams.cdrom->status = CDS_TRAY_OPEN;
            bool staleFirst = false;
            WithMenu(dialog, 0, [&](QMenu& menu) {
                staleFirst = ActionNamed(menu, "&Eject") != nullptr;
                QTRY_VERIFY(ActionNamed(menu, "&Close Tray") != nullptr);
                QVERIFY(!ActionNamed(menu, "&Open")->isEnabled());  // no disc to open
                Choose(menu, ActionNamed(menu, "&Close Tray"));
            });
            QVERIFY(staleFirst);
            QTRY_VERIFY_WITH_TIMEOUT(inCommand.load(), 10000);
            QVERIFY(WaitCursorShown());
            ProgramOnSeams::Tick(core);  // the dialog answers while the drive works
            closing.Open();
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::overrideCursor() == nullptr, 10000);
            QTRY_VERIFY(seams.Settled());
        });
        QVERIFY(seams.Sent(CDROMCLOSETRAY));
        QVERIFY(!seams.TouchedOnThisThread());
    }

    // "Open" on a disc nobody mounted mounts it first, on a worker, then opens its folder; the
    // menu then offers to unmount it, and Eject lets go of the mount before the tray opens.
    void openMountsTheDiscFirstAndEjectUnmountsIt() {
        ProgramOnSeams seams;
        const std::string folder = seams.system.Temp() / "run/sr0";
        seams.Run([&](QtDialog& dialog, CCopyDlg&) {
            QTRY_VERIFY(seams.Settled());
            WithMenu(dialog, 0, [&](QMenu& menu) {
                QVERIFY(ActionNamed(menu, "&Mount") != nullptr);
                QAction* open = ActionNamed(menu, "&Open");
                QVERIFY(open->isEnabled());
                Choose(menu, open);
            });
            QTRY_VERIFY_WITH_TIMEOUT(!opened_.isEmpty(), 10000);
            QCOMPARE(opened_.front(), QUrl::fromLocalFile(QString::fromStdString(folder)));
            QTRY_VERIFY(QApplication::overrideCursor() == nullptr);

            // The mount table says where the disc is now.
            seams.system.AddMount(seams.system.Dev("sr0"), folder);
            WithMenu(dialog, 0, [&](QMenu& menu) {
                QVERIFY(ActionNamed(menu, "&Unmount") != nullptr);
                Choose(menu, ActionNamed(menu, "&Eject"));
            });
            QTRY_VERIFY_WITH_TIMEOUT(seams.Sent(CDROMEJECT), 10000);
            QTRY_VERIFY(seams.Settled());
        });
        const std::vector<std::string> log = seams.calls->Log();
        QCOMPARE(log.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(log.back()), QString::fromStdString("umount " + folder));
        QVERIFY(!seams.TouchedOnThisThread());
    }

    // Dismissing the menu does nothing.
    void dismissingTheMenuDoesNothing() {
        ProgramOnSeams seams;
        seams.Run([&](QtDialog& dialog, CCopyDlg&) {
            QTRY_VERIFY(seams.Settled());
            WithMenu(dialog, 0, [&](QMenu& menu) { QTest::keyClick(&menu, Qt::Key_Escape); });
            QTRY_VERIFY(seams.Settled());
            QVERIFY(QApplication::overrideCursor() == nullptr);
        });
        QVERIFY(!seams.Sent(CDROMEJECT));
        QVERIFY(!seams.Sent(CDROMCLOSETRAY));
        QVERIFY(seams.calls->Log().empty());
        QVERIFY(opened_.isEmpty());
    }
};

QTEST_MAIN(DriveMenuTest)
#include "DriveMenuTest.moc"

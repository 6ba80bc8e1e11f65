// The automount inhibitor against a private session bus with a stand-in session manager.
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>
#include "platform/qt/SessionInhibitor.h"
#include "shell/AutoPlay.h"
#include "tests/qt/ProgramOnSeams.h"

using namespace dravolin;
using namespace dravolin::qt;

namespace {
const QString kBusName = QStringLiteral("dravolin-test-bus");
}  // namespace

class SessionInhibitorTest : public QObject {
    Q_OBJECT

  private:
    QProcess daemon_;
    QProcess standIn_;
    QString address_;

    QStringList Calls() {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.SessionManager"), QStringLiteral("/org/gnome/SessionManager"),
            QStringLiteral("org.dravolin.Test"), QStringLiteral("Calls"));
        const QDBusMessage reply = QDBusConnection(kBusName).call(call, QDBus::Block, 5000);
        if (reply.arguments().isEmpty()) return {};
        return reply.arguments().front().toStringList();
    }

    void SetInhibitDelay(quint32 milliseconds) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.SessionManager"), QStringLiteral("/org/gnome/SessionManager"),
            QStringLiteral("org.dravolin.Test"), QStringLiteral("AnswerInhibitAfter"));
        call << milliseconds;
        QDBusConnection(kBusName).call(call, QDBus::Block, 5000);
    }

  private slots:
    void initTestCase() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        QVERIFY2(daemon_.waitForStarted(10000), "dbus-daemon did not start");
        QTRY_VERIFY_WITH_TIMEOUT(daemon_.canReadLine() || daemon_.waitForReadyRead(100), 10000);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        QVERIFY(!address_.isEmpty());

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        standIn_.setProcessEnvironment(environment);
        standIn_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        standIn_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(DRAVOLIN_TEST_DIR "/session_manager_standin.py")});
        QVERIFY2(standIn_.waitForStarted(10000), "the stand-in session manager did not start");

        QDBusConnection bus = QDBusConnection::connectToBus(address_, kBusName);
        QVERIFY(bus.isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(
            bus.interface()->isServiceRegistered(QStringLiteral("org.gnome.SessionManager")),
            15000);
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(kBusName);
        standIn_.kill();
        standIn_.waitForFinished(5000);
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    // The program's own wiring: the core's AutoPlay value, written at set-up and deleted at
    // teardown, takes and gives back the session's automount inhibitor.
    void heldFromSetUpToTeardown() {
        test::ProgramOnSeams seams(1, QDBusConnection(kBusName));
        Registry& registry = seams.program->Services().registry();
        QStringList whileOpen;
        Registry::Value valueWhileOpen;
        seams.Run([&](QtDialog&, CCopyDlg&) {
            QTRY_VERIFY(seams.program->Inhibitor().Held());
            whileOpen = Calls();
            valueWhileOpen = registry.GetValue(win::RootKey::LocalMachine, kCancelAutoplayKey,
                                               kCancelAutoplayValue, 260);
        });
        QVERIFY(!seams.program->Inhibitor().Held());
        QCOMPARE(whileOpen.size(), 1);
        QVERIFY(whileOpen.front().startsWith(QStringLiteral("Inhibit dravolin 16 ")));
        const QString cookie = whileOpen.front().section(QLatin1Char(' '), 3, 3);
        // The session shows the reason to a user who logs out meanwhile.
        QCOMPARE(whileOpen.front().section(QLatin1Char(' '), 4), QStringLiteral("Copying discs"));
        const QStringList after = Calls();
        QCOMPARE(after.size(), 2);
        QCOMPARE(after.back(), QStringLiteral("Uninhibit ") + cookie);
        // The cancel value itself is kept as the core wrote it (REG_SZ, no data) while the
        // dialog runs, and deleted with it.
        QCOMPARE(valueWhileOpen.result, win::kErrorSuccess);
        QCOMPARE(valueWhileOpen.type, win::kRegSz);
        QCOMPARE(valueWhileOpen.data, std::string());
        QCOMPARE(
            registry
                .GetValue(win::RootKey::LocalMachine, kCancelAutoplayKey, kCancelAutoplayValue, 260)
                .result,
            win::kErrorFileNotFound);
    }

    // A session manager slow to answer keeps neither the opening nor the closing dialog
    // waiting; an answer that comes after the inhibitor was given up is given back at once.
    void aSlowSessionManagerKeepsNobodyWaiting_data() {
        QTest::addColumn<bool>("givenUpFirst");
        QTest::newRow("held once the answer comes") << false;
        QTest::newRow("given up before the answer") << true;
    }
    void aSlowSessionManagerKeepsNobodyWaiting() {
        QFETCH(bool, givenUpFirst);
        SetInhibitDelay(2000);
        SessionInhibitor inhibitor(QDBusConnection(kBusName), QStringLiteral("Copying discs"));
        const int before = Calls().size();
        QElapsedTimer took;
        took.start();
        inhibitor.Inhibit();
        if (givenUpFirst) inhibitor.Uninhibit();
        QVERIFY2(took.elapsed() < 1000, "the caller waited for the session manager");
        QVERIFY(!inhibitor.Held());
        if (givenUpFirst) {
            QTRY_COMPARE_WITH_TIMEOUT(Calls().size(), before + 2, 10000);
            const QStringList calls = Calls();
            QCOMPARE(calls.back(),
                     QStringLiteral("Uninhibit ") + calls[before].section(QLatin1Char(' '), 3, 3));
            QVERIFY(!inhibitor.Held());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(inhibitor.Held(), 10000);
        }
        SetInhibitDelay(0);
    }

    void withoutASessionBusNothingHappens() {
        SessionInhibitor inhibitor(QDBusConnection(QStringLiteral("no-such-connection")),
                                   QStringLiteral("Copying discs"));
        inhibitor.Inhibit();
        QVERIFY(!inhibitor.Held());
        inhibitor.Uninhibit();
        QVERIFY(!inhibitor.Held());
    }

    void otherValuesLeaveTheInhibitorAlone() {
        test::ProgramOnSeams seams(1, QDBusConnection(kBusName));
        Registry& registry = seams.program->Services().registry();
        const QStringList before = Calls();
        registry.SetValue(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00",
                          win::kRegSz, "/tmp/x/");
        registry.SetValue(win::RootKey::LocalMachine, kCancelAutoplayKey, "another value",
                          win::kRegSz, "");
        QVERIFY(!seams.program->Inhibitor().Held());
        QCOMPARE(Calls(), before);
    }
};

QTEST_MAIN(SessionInhibitorTest)
#include "SessionInhibitorTest.moc"

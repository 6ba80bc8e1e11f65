// The automount inhibitor against a private session bus with a stand-in session manager.
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest>
#include "platform/qt/SessionInhibitor.h"
#include "tests/qt/QtTestPlatform.h"

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

    void heldFromSetUpToTeardown() {
        SessionInhibitor inhibitor{QDBusConnection(kBusName)};
        test::QtTestPlatform machine;
        AutoPlayRegistry registry(machine.fakes.registry, inhibitor);
        machine.registry.Wrap(registry);
        QStringList whileOpen;
        machine.Run([&](QtDialog&) {
            whileOpen = Calls();
            QVERIFY(inhibitor.Held());
        });
        QVERIFY(!inhibitor.Held());
        QCOMPARE(whileOpen.size(), 1);
        QVERIFY(whileOpen.front().startsWith(QStringLiteral("Inhibit dravolin 16 ")));
        const QString cookie = whileOpen.front().section(QLatin1Char(' '), 3);
        const QStringList after = Calls();
        QCOMPARE(after.size(), 2);
        QCOMPARE(after.back(), QStringLiteral("Uninhibit ") + cookie);
        // The cancel value still reaches the store behind, as the core wrote it.
        QVERIFY(machine.fakes.log.IndexOf("SHSetValueA HKLM") >= 0 ||
                machine.fakes.log.IndexOf("SHSetValueA") >= 0);
    }

    void withoutASessionBusNothingHappens() {
        SessionInhibitor inhibitor(QDBusConnection(QStringLiteral("no-such-connection")));
        inhibitor.Inhibit();
        QVERIFY(!inhibitor.Held());
        inhibitor.Uninhibit();
        QVERIFY(!inhibitor.Held());
    }

    void otherValuesPassThroughUntouched() {
        SessionInhibitor inhibitor{QDBusConnection(kBusName)};
        fake::CallLog log;
        fake::FakeRegistry store(&log);
        AutoPlayRegistry registry(store, inhibitor);
        const QStringList before = Calls();
        registry.SetValue(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00",
                          win::kRegSz, "/tmp/x\\");
        QCOMPARE(
            registry.GetValue(win::RootKey::CurrentUser, "Software\\Dravolin", "Destination00", 260)
                .data,
            std::string("/tmp/x\\"));
        QVERIFY(!inhibitor.Held());
        QCOMPARE(Calls(), before);
    }
};

QTEST_MAIN(SessionInhibitorTest)
#include "SessionInhibitorTest.moc"

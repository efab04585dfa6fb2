// The sleep manager against a logind stand-in (python3-dbusmock's logind template) on a private
// D-Bus daemon: the keep-awake lock follows the registrants, sleep and wake reach the notifications.
#include "OVLogindInhibitor.h"
#include "OVNotificationCenter.h"
#include "OVTestCapture.h"
#include "SleepManager.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QTest>

#include <mutex>

static const QString kBusName = QStringLiteral("sleep-manager-test");

class tst_SleepManager : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_log = OVLogCapture::install();
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY2(m_daemon.waitForReadyRead(10000), "dbus-daemon did not start");
        const QString address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
        m_logind.setProcessEnvironment(environment);
        m_logind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_logind.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                        QStringLiteral("logind")});
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, kBusName));
        QVERIFY(m_bus->isConnected());
        QTRY_VERIFY_WITH_TIMEOUT(m_bus->interface()->isServiceRegistered(OVLogindInhibitor::kService), 20000);
    }
    void cleanupTestCase() {
        m_bus.reset();
        QDBusConnection::disconnectFromBus(kBusName);
        for (QProcess* process : {&m_logind, &m_daemon}) {
            process->kill();
            process->waitForFinished();
        }
        OVLogCapture::uninstall();
    }
    void init() { m_log->clear(); }
    void cleanup() { OVNotificationCenter::defaultCenter().removeObserver(this); }

    // Registrants are 'a' and 'b'; "+a" registers, "-a" unregisters.
    void keepAwakeFollowsRegistrants_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("taken");
        QTest::addColumn<int>("released");
        QTest::newRow("first registrant takes it") << "+a" << true << 1 << 0;
        QTest::newRow("same object twice counts once") << "+a +a -a" << false << 1 << 1;
        QTest::newRow("unknown object changes nothing") << "+a -b" << true << 1 << 0;
        QTest::newRow("last registrant releases it") << "+a +b -a -b" << false << 1 << 1;
        QTest::newRow("released and taken again") << "+a -a +b" << true << 2 << 1;
    }
    void keepAwakeFollowsRegistrants() {
        QFETCH(QString, steps);
        QFETCH(bool, held);
        QFETCH(int, taken);
        QFETCH(int, released);
        const int a = 0, b = 0;
        {
            SleepManager manager(*m_bus);
            const QStringList stepList = steps.split(QLatin1Char(' '));
            for (const QString& step : stepList) {
                const void* object = step.endsWith(QLatin1Char('a')) ? static_cast<const void*>(&a) : &b;
                if (step.startsWith(QLatin1Char('+')))
                    manager.registerToPreventSleep(object);
                else
                    manager.unregisterToPreventSleep(object);
            }
            QCOMPARE(manager.holdsKeepAwake(), held);
            QCOMPARE(manager.preventIdleSleep(), held);
            QTRY_COMPARE(inhibitors(QStringLiteral("block")),
                         held ? QStringList{OVLogindInhibitor::kKeepAwakeWhat} : QStringList());
            QTRY_COMPARE(inhibitors(QStringLiteral("delay")), QStringList{QStringLiteral("sleep")});
            QCOMPARE((QList<int>{
                         m_log->count(QStringLiteral("^Prevent (Idle|User Idle|System) Sleep$")),
                         m_log->count(QStringLiteral("^Allow (Idle Sleep|User Idle Sleep|Disk Idle)$")),
                         m_log->count(QStringLiteral("^Object (un)?registered, we have \\d+ in the lock$"))}),
                     (QList<int>{3 * taken, 3 * released, int(stepList.size())}));
        }
        QTRY_COMPARE(inhibitors(QString()), QStringList());
    }

    void sleepAndWakeReachTheNotifications_data() {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("sleeping");
        QTest::addColumn<QStringList>("notices");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("delayHeld");
        const QString willSleep = OVNotificationName::kSleepManagerSystemWillSleep;
        QTest::newRow("sleep during a transfer")
            << true << true << QStringList{willSleep} << willSleep + QStringLiteral(" but want more time 1")
            << true;
        QTest::newRow("sleep when idle")
            << false << true << QStringList{willSleep} << willSleep + QStringLiteral(" right away") << false;
        QTest::newRow("wake") << false << false
                              << QStringList{OVNotificationName::kSleepManagerSystemWillPowerOn,
                                             OVNotificationName::kSleepManagerSystemHasPowerOn}
                              << OVNotificationName::kSleepManagerSystemHasPowerOn << true;
    }
    void sleepAndWakeReachTheNotifications() {
        QFETCH(bool, registered);
        QFETCH(bool, sleeping);
        QFETCH(QStringList, notices);
        QFETCH(QString, line);
        QFETCH(bool, delayHeld);
        SleepManager manager(*m_bus);
        const int registrant = 0;
        if (registered)
            manager.registerToPreventSleep(&registrant);
        QTRY_COMPARE(inhibitors(QStringLiteral("delay")).size(), 1);
        std::mutex mutex; // the notifications come from the power thread
        QStringList seen;
        for (const QString& name : {OVNotificationName::kSleepManagerSystemWillSleep,
                                    OVNotificationName::kSleepManagerSystemWillPowerOn,
                                    OVNotificationName::kSleepManagerSystemHasPowerOn})
            OVNotificationCenter::defaultCenter().addObserver(this, name, [&](const OVNotification& n) {
                std::lock_guard<std::mutex> lock(mutex);
                seen << n.name;
            });

        QDBusMessage call = QDBusMessage::createMethodCall(
            OVLogindInhibitor::kService, OVLogindInhibitor::kPath,
            QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("EmitSignal"));
        call << OVLogindInhibitor::kInterface << QStringLiteral("PrepareForSleep") << QStringLiteral("b")
             << QVariant::fromValue(QVariantList{QVariant::fromValue(QDBusVariant(sleeping))});
        const QDBusMessage reply = m_bus->call(call);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));

        const auto seenNow = [&] {
            std::lock_guard<std::mutex> lock(mutex);
            return seen;
        };
        QTRY_COMPARE(seenNow(), notices);
        QVERIFY(m_log->has(line));
        QTRY_COMPARE(inhibitors(QStringLiteral("delay")).size(), delayHeld ? 1 : 0);
    }

    void withoutABusOnlyTheBookkeepingRemains() {
        SleepManager manager{QDBusConnection(QStringLiteral("no-such-bus"))};
        const int registrant = 0;
        manager.registerToPreventSleep(&registrant);
        QVERIFY(!manager.hasBackend() && manager.preventIdleSleep() && !manager.holdsKeepAwake());
        manager.unregisterToPreventSleep(&registrant);
        QVERIFY(!manager.preventIdleSleep());
        QCOMPARE(m_log->count(QStringLiteral("^No system bus")), 1);
    }

private:
    /** The "what" of logind's inhibitors in that mode (every mode when empty). */
    QStringList inhibitors(const QString& mode) {
        const QDBusMessage reply = m_bus->call(
            QDBusMessage::createMethodCall(OVLogindInhibitor::kService, OVLogindInhibitor::kPath,
                                           OVLogindInhibitor::kInterface, QStringLiteral("ListInhibitors")));
        QStringList found;
        const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, itsMode;
            uint uid = 0, pid = 0;
            list.beginStructure();
            list >> what >> who >> why >> itsMode >> uid >> pid;
            list.endStructure();
            if (mode.isEmpty() || itsMode == mode)
                found << what;
        }
        list.endArray();
        return found;
    }

    std::shared_ptr<OVLogCapture> m_log;
    QProcess m_daemon;
    QProcess m_logind;
    std::unique_ptr<QDBusConnection> m_bus;
};

QTEST_GUILESS_MAIN(tst_SleepManager)
#include "tst_SleepManager.moc"

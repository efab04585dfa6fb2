// The executor and its notifier: the status rules per command class, "Unknown Command", the
// subscriber walk (order, once each, a throwing subscriber, concurrent changes), and firmware
// writes on the emulator, including a recovery whose device leaves while it waits. The other
// commands' successes on the emulator are the registry's and the window's tests.
#include "DeviceRig.h"
#include "ReportRecorder.h"

#include "OVCommandAssignDefaultUser.h"
#include "OVCommandErase.h"
#include "OVCommandGetBatteryLevel.h"
#include "OVCommandGetDefaultUser.h"
#include "OVCommandGetSessionList.h"
#include "OVCommandIdentify.h"
#include "OVCommandReset.h"
#include "OVCommandSetClock.h"
#include "OVDeviceCommandExecutor.h"
#include "OVDeviceInfo.h"
#include "OVException.h"
#include "SimFirmwareImage.h"

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {
const QString kSerial = QStringLiteral("OVR0000000000161");
using Info = std::shared_ptr<OVDeviceInfo>;
using SessionList = QList<std::shared_ptr<OVSession>>;

/** Writes each call it gets as one text line: the report's name, then its values. */
class CallLog : public OVDeviceCommandDelegate, public Recorded<QString> {
public:
    void onGetBatteryLevelCompleted(const Info& d, int v) override {
        add(d, "battery", v, d->batteryLevel());
    }
    void onSetClockForDeviceCompleted(const Info& d, bool ok) override { add(d, "clock", ok); }
    void onIdentifyDeviceCompleted(const Info& d, bool ok) override { add(d, "identify", ok); }
    void onEraseDeviceCompleted(const Info& d, bool ok) override { add(d, "erase", ok); }
    void onResetDeviceCompleted(const Info& d, bool ok) override { add(d, "reset", ok); }
    void onUpdateDeviceCompleted(const Info& d, bool ok) override { add(d, "update", ok); }
    void onUpdateDeviceInProgress(const Info& d, double p) override { add(d, "update progress", p); }
    void onGetSessionListForDeviceCompleted(const Info& d, bool ok,
                                            const std::optional<SessionList>& sessions) override {
        add(d, "sessions", ok, sessions ? QString::number(sessions->size()) : QStringLiteral("none"));
    }
    void onAssignDefaultUser(const Info& d, bool ok, quint64 user) override { add(d, "assign", ok, user); }
    void onGetDefaultUser(const Info& d, bool ok, quint64 user) override { add(d, "user", ok, user); }
    void onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& d, bool ok) override {
        add(nullptr, "recover", QStringLiteral("0x%1").arg(d->locationID(), 0, 16), ok);
    }
    void onRecoverDeviceInProgress(const std::shared_ptr<OrvaneUSBDevice>&, double p) override {
        add(nullptr, "recover progress", p);
    }
    /** The records the calls named, in order. */
    Recorded<Info> devices;

private:
    static QString text(const QString& value) { return value; }
    template <typename T> static QString text(T value) { return QString::number(value); }
    template <typename... Values> void add(const Info& d, const char* name, Values... values) {
        QStringList words{QLatin1String(name)};
        (words << ... << text(values));
        if (d)
            devices.append(d);
        append(words.join(QLatin1Char(' ')));
    }
};

/** A subscriber that runs `call` on every battery report. */
struct BatteryHook : OVDeviceCommandDelegate {
    explicit BatteryHook(std::function<void()> run)
        : call(std::move(run)) {}
    void onGetBatteryLevelCompleted(const Info&, int) override { call(); }
    std::function<void()> call;
};

class UnknownCommand : public OVCommandCDC {};

std::shared_ptr<OrvaneCDCDevice> detachedDevice() {
    return std::make_shared<OrvaneCDCDevice>(OrvaneDeviceInformations{kSerial, QStringLiteral("OVR-1"),
                                                                      QStringLiteral("2.1"),
                                                                      QStringLiteral("1.0.9")},
                                             0x14200000u);
}

template <typename Command> std::shared_ptr<OVCommand> make() {
    if constexpr (std::is_same_v<Command, OVCommandSetClock>)
        return std::make_shared<Command>(nullptr); // these rows only read its reports
    else
        return std::make_shared<Command>();
}
} // namespace

Q_DECLARE_METATYPE(std::shared_ptr<OVCommand>)

class tst_OVDeviceCommandExecutor : public QObject {
    Q_OBJECT

private:
    /** A fresh executor for each test, whose reports m_log keeps. */
    std::shared_ptr<OVDeviceCommandExecutor> m_executor;
    std::shared_ptr<CallLog> m_log;

private Q_SLOTS:
    void init() {
        OVLogCapture::install();
        m_executor = std::make_shared<OVDeviceCommandExecutor>(nullptr);
        m_log = std::make_shared<CallLog>();
        m_executor->addDeviceCommandDelegate(m_log);
    }

    void statusRules_data() {
        QTest::addColumn<std::shared_ptr<OVCommand>>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("call"); // empty: nobody is told
        QTest::newRow("battery, unknown status") << make<OVCommandGetBatteryLevel>() << 7 << "";
        QTest::newRow("battery failed: no level") << make<OVCommandGetBatteryLevel>() << 2 << "battery -1 -1";
        QTest::newRow("clock set") << make<OVCommandSetClock>() << 0 << "clock 1";
        QTest::newRow("clock failed") << make<OVCommandSetClock>() << 2 << "clock 0";
        QTest::newRow("clock, progress is not a status of it") << make<OVCommandSetClock>() << 3 << "";
        QTest::newRow("erase done") << make<OVCommandErase>() << 0 << "erase 1";
        QTest::newRow("reset, unknown status") << make<OVCommandReset>() << 1 << "";
        QTest::newRow("reset failed") << make<OVCommandReset>() << 2 << "reset 0";
        QTest::newRow("identify done") << make<OVCommandIdentify>() << 0 << "identify 1";
        QTest::newRow("identify failed") << make<OVCommandIdentify>() << 2 << "identify 0";
        QTest::newRow("default user failed: all bits")
            << make<OVCommandGetDefaultUser>() << 2 << "user 0 18446744073709551615";
        QTest::newRow("session list failed") << make<OVCommandGetSessionList>() << 2 << "sessions 0 none";
        QTest::newRow("assign failed: all bits")
            << make<OVCommandAssignDefaultUser>() << 2 << "assign 0 18446744073709551615";
    }
    void statusRules() {
        QFETCH(std::shared_ptr<OVCommand>, command);
        QFETCH(int, status);
        QFETCH(QString, call);
        m_executor->onCommandExecuted(command, detachedDevice(), status, std::any());
        QCOMPARE(m_log->items(), call.isEmpty() ? QStringList() : QStringList{call});
        if (!call.isEmpty()) { // a fresh record of the library's device, as a subscriber looks it up
            const Info d = m_log->devices.at(0);
            QCOMPARE(QStringList({d->serial(), d->name(), QString::number(d->locationId(), 16),
                                  d->firmwareRevision(), QString::number(d->isConnected())}),
                     QStringList({kSerial, QStringLiteral("OV00161"), QStringLiteral("14200000"),
                                  QStringLiteral("1.0.9"), QStringLiteral("0")}));
        }
    }

    void unknownCommandThrows() {
        auto command = std::make_shared<UnknownCommand>();
        try {
            m_executor->onCommandExecuted(command, detachedDevice(), 0, std::any());
            QFAIL("no exception");
        } catch (const OVException& e) {
            QCOMPARE(e.description(), QStringLiteral("Unknown Command ") + command->description());
        }
    }

    void commandWithoutADeviceNotifiesNobody() {
        // It fails to send; its report names no device a subscriber could look up.
        m_executor->getBatteryCommandForDevice(nullptr);
        m_executor->recoverDevice(nullptr, QString());
        QCOMPARE(m_log->items(), QStringList());
    }

    void subscribersAreToldInOrderOnceEach() {
        OVDeviceCommandNotifyer notifyer;
        QStringList told;
        const auto teller = [&](const char* name) {
            return std::make_shared<BatteryHook>([&told, name] { told << QLatin1String(name); });
        };
        const auto first = teller("first");
        notifyer.addDeviceCommandDelegate(first);
        notifyer.addDeviceCommandDelegate(
            std::make_shared<BatteryHook>([] { throw OVException(QStringLiteral("subscriber trouble")); }));
        notifyer.addDeviceCommandDelegate(
            std::make_shared<BatteryHook>([] { throw std::out_of_range("subscriber trouble"); }));
        notifyer.addDeviceCommandDelegate(teller("second"));
        notifyer.addDeviceCommandDelegate(first); // already there
        notifyer.removeDeviceCommandDelegate(teller("never there"));
        QCOMPARE(notifyer.commandNotificationDelegates().size(), 4);
        notifyer.notifyGotBatteryLevelForDevice(std::make_shared<OVDeviceInfo>(), 12);
        QCOMPARE(told, QStringList({QStringLiteral("first"), QStringLiteral("second")}));

        // What is not an exception object is not the notifier's to swallow.
        notifyer.addDeviceCommandDelegate(std::make_shared<BatteryHook>([] { throw 42; }));
        QVERIFY_THROWS_EXCEPTION(
            int, notifyer.notifyGotBatteryLevelForDevice(std::make_shared<OVDeviceInfo>(), 13));
    }

    void walkSurvivesConcurrentSubscribing() {
        // One thread notifies while another subscribes and unsubscribes: the steady subscribers
        // are told every time, in their order, and the walk never trips over the changing list.
        OVDeviceCommandNotifyer notifyer;
        QString order; // written by the walks, all on this thread
        const auto marker = [&](QChar id) {
            return std::make_shared<BatteryHook>([&order, id] { order += id; });
        };
        notifyer.addDeviceCommandDelegate(marker(QLatin1Char('1')));
        notifyer.addDeviceCommandDelegate(marker(QLatin1Char('2')));
        std::atomic<bool> stop{false};
        std::thread churn([&] {
            while (!stop.load()) {
                auto transient = marker(QLatin1Char('x'));
                notifyer.addDeviceCommandDelegate(transient);
                notifyer.removeDeviceCommandDelegate(transient);
            }
        });
        const int walks = 3000;
        for (int i = 0; i < walks; ++i)
            notifyer.notifyGotBatteryLevelForDevice(nullptr, 1);
        stop.store(true);
        churn.join();
        QCOMPARE(order.remove(QLatin1Char('x')), QStringLiteral("12").repeated(walks));
    }

    void firmwareUpdateReportsProgressThenOneCompletion() {
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        QTemporaryDir dir;
        const QString path = writeFirmware(dir, SimFirmwareImage::generate(1, 1, 0, 4 * 4096 - 20).build());
        m_executor->updateCommandForDevice(device, path);
        QTRY_VERIFY(m_log->items().contains(QStringLiteral("update 1")));
        QVERIFY(rig.waitForCdc(kSerial, device)); // back with the new firmware
        QCOMPARE(m_log->items().join(QLatin1Char(',')),
                 QStringLiteral("update progress 25,update progress 50,update progress 75,"
                                "update progress 100,update 1"));

        // A recovery-mode device: progress, then one completion naming it by location.
        QVERIFY(rig.hub().recovery(kSerial));
        QTRY_COMPARE(rig.manager().hidOrvanes().size(), 1);
        const auto hid = rig.manager().hidOrvanes().first();
        m_executor->recoverDevice(hid, path);
        const QString done = QStringLiteral("recover 0x%1 1").arg(hid->locationID(), 0, 16);
        QTRY_VERIFY(m_log->items().contains(done));
        QCOMPARE(m_log->items().count(done), 1);
        QCOMPARE(m_log->items().count(QStringLiteral("recover progress 100")), 1);
        QVERIFY(rig.waitForCdc(kSerial));
    }

    // A lost answer ends in one failure when its device leaves, also for a device that is not in
    // data mode (that a command ends so is the command's own rule).
    void recoveryOfAnUnpluggedDeviceGivesOneFailure() {
        DeviceRig rig(false);
        QVERIFY(rig.plug(kSerial));
        QTemporaryDir dir;
        rig.hub().addFault(kSerial, {SimFault::Kind::NoAnswer, 0, -1, std::nullopt});
        QVERIFY(rig.hub().recovery(kSerial));
        QTRY_COMPARE(rig.manager().hidOrvanes().size(), 1);
        m_executor->recoverDevice(rig.manager().hidOrvanes().first(),
                                  writeFirmware(dir, SimFirmwareImage::generate(1, 1, 0, 100).build()));
        const QString failure = QStringLiteral("recover 0x14100000 0");
        QVERIFY(rig.hub().unplug(kSerial));
        QTRY_COMPARE(m_log->items(), QStringList{failure});
        QTest::qWait(700); // longer than a retry pause: nothing more comes
        QCOMPARE(m_log->items(), QStringList{failure});
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceCommandExecutor)
#include "tst_OVDeviceCommandExecutor.moc"

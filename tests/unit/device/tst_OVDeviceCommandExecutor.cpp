// The executor and its notifier: the status rules per command class, "Unknown Command", the
// subscriber walk (order, once each, a throwing subscriber, concurrent changes), and the
// executor's commands on the emulator, including a device unplugged while a command waits.
#include "DeviceRig.h"
#include "ReportRecorder.h"

#include "OVCommandAssignDefaultUser.h"
#include "OVCommandErase.h"
#include "OVCommandFirmwareUpdate.h"
#include "OVCommandGetBatteryLevel.h"
#include "OVCommandGetDefaultUser.h"
#include "OVCommandGetSessionList.h"
#include "OVCommandHIdRecover.h"
#include "OVCommandIdentify.h"
#include "OVCommandReset.h"
#include "OVCommandSetClock.h"
#include "OVDeviceCommandExecutor.h"
#include "OVDeviceInfo.h"
#include "OVException.h"
#include "OrvaneDate.h"
#include "OvFirmwareImage.h"

#include <QFile>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {
const QString kSerial = QStringLiteral("OVR0000000000161");
using SessionList = QList<std::shared_ptr<OVSession>>;

/** Writes each call it gets as one text line. */
class CallLog : public OVDeviceCommandDelegate {
public:
    explicit CallLog(QString name = QString())
        : m_name(std::move(name)) {}
    QStringList calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    std::shared_ptr<OVDeviceInfo> lastDevice() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastDevice;
    }
    void onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>& d, int level) override {
        add(d, QStringLiteral("battery %1 %2").arg(level).arg(d->batteryLevel()));
    }
    void onSetClockForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& d, bool ok) override {
        add(d, QStringLiteral("clock %1").arg(ok));
    }
    void onIdentifyDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& d, bool ok) override {
        add(d, QStringLiteral("identify %1").arg(ok));
    }
    void onEraseDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& d, bool ok) override {
        add(d, QStringLiteral("erase %1").arg(ok));
    }
    void onResetDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& d, bool ok) override {
        add(d, QStringLiteral("reset %1").arg(ok));
    }
    void onUpdateDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& d, bool ok) override {
        add(d, QStringLiteral("update %1").arg(ok));
    }
    void onUpdateDeviceInProgress(const std::shared_ptr<OVDeviceInfo>& d, double p) override {
        add(d, QStringLiteral("update progress %1").arg(p));
    }
    void onGetSessionListForDeviceCompleted(const std::shared_ptr<OVDeviceInfo>& d, bool ok,
                                            const std::optional<SessionList>& sessions) override {
        add(d, QStringLiteral("sessions %1 %2")
                   .arg(ok)
                   .arg(sessions ? QString::number(sessions->size()) : QStringLiteral("none")));
    }
    void onAssignDefaultUser(const std::shared_ptr<OVDeviceInfo>& d, bool ok, quint64 user) override {
        add(d, QStringLiteral("assign %1 %2").arg(ok).arg(user));
    }
    void onGetDefaultUser(const std::shared_ptr<OVDeviceInfo>& d, bool ok, quint64 user) override {
        add(d, QStringLiteral("user %1 %2").arg(ok).arg(user));
    }
    void onRecoverDeviceCompleted(const std::shared_ptr<OrvaneUSBDevice>& d, bool ok) override {
        add(nullptr, QStringLiteral("recover 0x%1 %2").arg(d->locationID(), 0, 16).arg(ok));
    }
    void onRecoverDeviceInProgress(const std::shared_ptr<OrvaneUSBDevice>&, double p) override {
        add(nullptr, QStringLiteral("recover progress %1").arg(p));
    }

private:
    void add(const std::shared_ptr<OVDeviceInfo>& d, const QString& call) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls << (m_name.isEmpty() ? call : m_name + QLatin1Char(' ') + call);
        if (d)
            m_lastDevice = d;
    }
    const QString m_name;
    mutable std::mutex m_mutex;
    QStringList m_calls;
    std::shared_ptr<OVDeviceInfo> m_lastDevice;
};

/** A subscriber that throws from every battery report: ours, another std::exception, or no exception object.
 */
class Thrower : public OVDeviceCommandDelegate {
public:
    enum Kind { Ours, Standard, NotAnException };
    explicit Thrower(Kind kind)
        : m_kind(kind) {}
    void onGetBatteryLevelCompleted(const std::shared_ptr<OVDeviceInfo>&, int) override {
        if (m_kind == Ours)
            throw OVException(QStringLiteral("subscriber trouble"));
        if (m_kind == Standard)
            throw std::out_of_range("subscriber trouble");
        throw 42;
    }

private:
    const Kind m_kind;
};

class UnknownCommand : public OVCommandCDC {};

std::shared_ptr<OrvaneCDCDevice> detachedDevice() {
    return std::make_shared<OrvaneCDCDevice>(OrvaneDeviceInformations{kSerial, QStringLiteral("OVR-1"),
                                                                      QStringLiteral("2.1"),
                                                                      QStringLiteral("1.0.9")},
                                             0x14200000u);
}

std::shared_ptr<OVCommand> commandNamed(const QString& name) {
    if (name == QLatin1String("battery"))
        return std::make_shared<OVCommandGetBatteryLevel>();
    if (name == QLatin1String("clock"))
        return std::make_shared<OVCommandSetClock>();
    if (name == QLatin1String("identify"))
        return std::make_shared<OVCommandIdentify>();
    if (name == QLatin1String("erase"))
        return std::make_shared<OVCommandErase>();
    if (name == QLatin1String("reset"))
        return std::make_shared<OVCommandReset>();
    if (name == QLatin1String("update"))
        return std::make_shared<OVCommandFirmwareUpdate>();
    if (name == QLatin1String("sessions"))
        return std::make_shared<OVCommandGetSessionList>();
    if (name == QLatin1String("assign"))
        return std::make_shared<OVCommandAssignDefaultUser>();
    if (name == QLatin1String("user"))
        return std::make_shared<OVCommandGetDefaultUser>();
    return std::make_shared<OVCommandHIdRecover>();
}
} // namespace

Q_DECLARE_METATYPE(std::any)

class tst_OVDeviceCommandExecutor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusRules_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<std::any>("result");
        QTest::addColumn<QStringList>("calls");
        const std::any none;
        QTest::newRow("battery read")
            << "battery" << 0 << std::any(55) << QStringList{QStringLiteral("battery 55 55")};
        QTest::newRow("battery failed shows -1")
            << "battery" << 2 << none << QStringList{QStringLiteral("battery -1 -1")};
        QTest::newRow("battery, unknown status") << "battery" << 7 << none << QStringList{};
        QTest::newRow("clock set") << "clock" << 0 << none << QStringList{QStringLiteral("clock 1")};
        QTest::newRow("clock failed") << "clock" << 2 << none << QStringList{QStringLiteral("clock 0")};
        QTest::newRow("clock, progress is not a status of it") << "clock" << 3 << none << QStringList{};
        QTest::newRow("identify failed")
            << "identify" << 2 << none << QStringList{QStringLiteral("identify 0")};
        QTest::newRow("erase done") << "erase" << 0 << none << QStringList{QStringLiteral("erase 1")};
        QTest::newRow("reset, unknown status") << "reset" << 1 << none << QStringList{};
        QTest::newRow("reset failed") << "reset" << 2 << none << QStringList{QStringLiteral("reset 0")};
        QTest::newRow("update progress")
            << "update" << 3 << std::any(42.5) << QStringList{QStringLiteral("update progress 42.5")};
        QTest::newRow("update done") << "update" << 0 << none << QStringList{QStringLiteral("update 1")};
        QTest::newRow("session list")
            << "sessions" << 0 << std::any(SessionList{std::make_shared<OVSession>()})
            << QStringList{QStringLiteral("sessions 1 1")};
        QTest::newRow("session list failed")
            << "sessions" << 2 << none << QStringList{QStringLiteral("sessions 0 none")};
        QTest::newRow("assigned") << "assign" << 0 << std::any(quint64(42))
                                  << QStringList{QStringLiteral("assign 1 42")};
        QTest::newRow("assign failed: all bits")
            << "assign" << 2 << none << QStringList{QStringLiteral("assign 0 18446744073709551615")};
        QTest::newRow("user read") << "user" << 0 << std::any(quint64(101))
                                   << QStringList{QStringLiteral("user 1 101")};
        QTest::newRow("user failed: all bits")
            << "user" << 2 << none << QStringList{QStringLiteral("user 0 18446744073709551615")};
        QTest::newRow("recovery progress")
            << "recover" << 3 << std::any(10.0) << QStringList{QStringLiteral("recover progress 10")};
        QTest::newRow("recovery done")
            << "recover" << 0 << none << QStringList{QStringLiteral("recover 0x14300000 1")};
        QTest::newRow("recovery failed")
            << "recover" << 2 << none << QStringList{QStringLiteral("recover 0x14300000 0")};
    }
    void statusRules() {
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(std::any, result);
        QFETCH(QStringList, calls);
        auto executor = std::make_shared<OVDeviceCommandExecutor>();
        auto log = std::make_shared<CallLog>();
        executor->addDeviceCommandDelegate(log);
        const std::shared_ptr<OrvaneUSBDevice> device =
            command == QLatin1String("recover") ? std::make_shared<OrvaneUSBDevice>(0x14300000u)
                                                : std::static_pointer_cast<OrvaneUSBDevice>(detachedDevice());
        executor->onCommandExecuted(commandNamed(command), device, status, result);
        QCOMPARE(log->calls(), calls);
        if (!calls.isEmpty() && command != QLatin1String("recover")) {
            // A fresh record of the library's device, as a subscriber looks it up by serial.
            QCOMPARE(log->lastDevice()->serial(), kSerial);
            QCOMPARE(log->lastDevice()->name(), QStringLiteral("OV00161"));
            QCOMPARE(log->lastDevice()->locationId(), 0x14200000);
            QCOMPARE(log->lastDevice()->firmwareRevision(), QStringLiteral("1.0.9"));
            QCOMPARE(log->lastDevice()->isConnected(), false);
        }
    }

    void unknownCommandThrows() {
        auto executor = std::make_shared<OVDeviceCommandExecutor>();
        auto command = std::make_shared<UnknownCommand>();
        try {
            executor->onCommandExecuted(command, detachedDevice(), 0, std::any());
            QFAIL("no exception");
        } catch (const OVException& e) {
            QCOMPARE(e.description(), QStringLiteral("Unknown Command ") + command->description());
        }
    }

    void commandWithoutADeviceNotifiesNobody() {
        // It fails to send; its report names no device a subscriber could look up.
        OVLogCapture::install();
        auto executor = std::make_shared<OVDeviceCommandExecutor>();
        auto log = std::make_shared<CallLog>();
        executor->addDeviceCommandDelegate(log);
        executor->getBatteryCommandForDevice(nullptr);
        executor->recoverDevice(nullptr, QString());
        QCOMPARE(log->calls(), QStringList());
    }

    void subscribersAreToldInOrderOnceEach() {
        OVDeviceCommandNotifyer notifyer;
        auto first = std::make_shared<CallLog>(QStringLiteral("first"));
        auto second = std::make_shared<CallLog>(QStringLiteral("second"));
        auto shared = std::make_shared<QStringList>();
        notifyer.addDeviceCommandDelegate(first);
        notifyer.addDeviceCommandDelegate(std::make_shared<Thrower>(Thrower::Ours));
        notifyer.addDeviceCommandDelegate(std::make_shared<Thrower>(Thrower::Standard));
        notifyer.addDeviceCommandDelegate(second);
        notifyer.addDeviceCommandDelegate(first);                          // already there
        notifyer.removeDeviceCommandDelegate(std::make_shared<CallLog>()); // never there
        QCOMPARE(notifyer.commandNotificationDelegates().size(), 4);
        notifyer.notifyGotBatteryLevelForDevice(std::make_shared<OVDeviceInfo>(), 12);
        QCOMPARE(first->calls(), QStringList{QStringLiteral("first battery 12 -1")});
        QCOMPARE(second->calls(), QStringList{QStringLiteral("second battery 12 -1")});

        // What is not an exception object is not the notifier's to swallow.
        notifyer.addDeviceCommandDelegate(std::make_shared<Thrower>(Thrower::NotAnException));
        QVERIFY_THROWS_EXCEPTION(
            int, notifyer.notifyGotBatteryLevelForDevice(std::make_shared<OVDeviceInfo>(), 13));
    }

    void walkSurvivesConcurrentSubscribing() {
        // One thread notifies while another subscribes and unsubscribes: the steady subscribers
        // are told every time, in their order, and the walk never trips over the changing list.
        OVDeviceCommandNotifyer notifyer;
        std::mutex mutex;
        QString order;
        struct Marker : OVDeviceCommandDelegate {
            std::function<void()> told;
            void onIdentifyDeviceCompleted(const std::shared_ptr<OVDeviceInfo>&, bool) override { told(); }
        };
        const auto marker = [&](QChar id) {
            auto m = std::make_shared<Marker>();
            m->told = [&, id] {
                std::lock_guard<std::mutex> lock(mutex);
                order += id;
            };
            return m;
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
            notifyer.notifyIdentifyDeviceCompleted(nullptr, true);
        stop.store(true);
        churn.join();
        QCOMPARE(order.remove(QLatin1Char('x')), QStringLiteral("12").repeated(walks));
    }

    void commandsOnTheEmulator() {
        OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial, 2);
        QVERIFY(device);
        auto executor = std::make_shared<OVDeviceCommandExecutor>();
        auto log = std::make_shared<CallLog>();
        executor->addDeviceCommandDelegate(log);
        executor->getBatteryCommandForDevice(device);
        QTRY_COMPARE(log->calls(), QStringList{QStringLiteral("battery 87 87")});
        executor->assignDefaultUser(device, 4242);
        QTRY_COMPARE(log->calls().size(), 2);
        executor->getDefaultUser(device);
        QTRY_COMPARE(log->calls().size(), 3);
        executor->getSessionList(device, dateWithOrvaneTime(1), OVDate::fromSecondsSince1970(4102444800.0));
        QTRY_COMPARE(log->calls().size(), 4);
        executor->identifyCommandForDevice(device);
        QTRY_COMPARE(log->calls().size(), 5);
        QCOMPARE(log->calls(), QStringList({QStringLiteral("battery 87 87"), QStringLiteral("assign 1 4242"),
                                            QStringLiteral("user 1 4242"), QStringLiteral("sessions 1 2"),
                                            QStringLiteral("identify 1")}));
        rig.hub().addFault(kSerial, {OvFault::Kind::FailBattery, 0, 1, std::nullopt});
        executor->getBatteryCommandForDevice(device);
        QTRY_COMPARE(log->calls().last(), QStringLiteral("battery -1 -1"));
    }

    void firmwareUpdateReportsProgressThenOneCompletion() {
        OVLogCapture::install();
        DeviceRig rig(false);
        QTemporaryDir dir;
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        const QString path = writeFirmware(dir, OvFirmwareImage::generate(1, 1, 0, 4 * 4096 - 20).build());
        auto executor = std::make_shared<OVDeviceCommandExecutor>();
        auto log = std::make_shared<CallLog>();
        executor->addDeviceCommandDelegate(log);
        executor->updateCommandForDevice(device, path);
        QTRY_VERIFY(log->calls().contains(QStringLiteral("update 1")));
        QVERIFY(rig.waitForCdc(kSerial, device)); // back with the new firmware
        QCOMPARE(log->calls(),
                 QStringList({QStringLiteral("update progress 25"), QStringLiteral("update progress 50"),
                              QStringLiteral("update progress 75"), QStringLiteral("update progress 100"),
                              QStringLiteral("update 1")}));

        // A recovery-mode device: progress, then one completion naming it by location.
        QVERIFY(rig.hub().recovery(kSerial));
        QTRY_COMPARE(rig.manager().hidOrvanes().size(), 1);
        const auto hid = rig.manager().hidOrvanes().first();
        executor->recoverDevice(hid, path);
        const QString done = QStringLiteral("recover 0x%1 1").arg(hid->locationID(), 0, 16);
        QTRY_VERIFY(log->calls().contains(done));
        QCOMPARE(log->calls().count(done), 1);
        QCOMPARE(log->calls().count(QStringLiteral("recover progress 100")), 1);
        QVERIFY(rig.waitForCdc(kSerial));
    }

    void deviceUnpluggedWhileACommandWaitsGivesOneFailure_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("failure");
        QTest::newRow("identify, no retry") << "identify"
                                            << "identify 0";
        QTest::newRow("default user, five retries") << "user"
                                                    << "user 0 18446744073709551615";
        QTest::newRow("recovery, answer ignored") << "recover"
                                                  << "recover 0x14100000 0";
    }
    void deviceUnpluggedWhileACommandWaitsGivesOneFailure() {
        QFETCH(QString, command);
        QFETCH(QString, failure);
        OVLogCapture::install();
        DeviceRig rig(false);
        QTemporaryDir dir;
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        auto executor = std::make_shared<OVDeviceCommandExecutor>();
        auto log = std::make_shared<CallLog>();
        executor->addDeviceCommandDelegate(log);
        rig.hub().addFault(kSerial, {OvFault::Kind::NoAnswer, 0, -1, std::nullopt});
        if (command == QLatin1String("identify")) {
            executor->identifyCommandForDevice(device);
        } else if (command == QLatin1String("user")) {
            executor->getDefaultUser(device);
        } else {
            QVERIFY(rig.hub().recovery(kSerial));
            QTRY_COMPARE(rig.manager().hidOrvanes().size(), 1);
            executor->recoverDevice(rig.manager().hidOrvanes().first(),
                                    writeFirmware(dir, OvFirmwareImage::generate(1, 1, 0, 100).build()));
        }
        QVERIFY(rig.hub().unplug(kSerial));
        QTRY_COMPARE(log->calls(), QStringList{failure});
        QTest::qWait(700); // longer than a retry pause: nothing more comes
        QCOMPARE(log->calls(), QStringList{failure});
    }

    void deviceRecordsFromLibraryDevices() {
        const auto cdc = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*detachedDevice());
        QCOMPARE(cdc->serial(), kSerial);
        QCOMPARE(cdc->name(), QStringLiteral("OV00161"));
        QCOMPARE(cdc->modelNumber(), QStringLiteral("OVR-1"));
        QCOMPARE(cdc->hardwareRevision(), QStringLiteral("2.1"));
        QCOMPARE(cdc->isConnected(), false);
        QVERIFY(cdc->sessions().isEmpty());
        const auto hid = OVDeviceInfo::buildDeviceInfoFromHIDDevice(OrvaneUSBDevice(0x14A00000u));
        QCOMPARE(hid->serial(), QStringLiteral("0x14A00000"));
        QCOMPARE(hid->name(), QStringLiteral("0x14A00000"));
        QCOMPARE(hid->locationId(), 0x14A00000);
        QCOMPARE(hid->firmwareRevision(), QStringLiteral("N/A"));
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceCommandExecutor)
#include "tst_OVDeviceCommandExecutor.moc"

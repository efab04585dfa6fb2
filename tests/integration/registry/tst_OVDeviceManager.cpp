// The device registry with emulated devices in process and a real ovcloud server: arrivals and
// replugs, recovery-mode devices, the sleep lock, sign-out during a download, reachability and the
// device operations. An unplug during a download is the session storer's and the fault campaign's;
// "sync now" during a download, a sign-out while the web API is slow and refused credentials at
// start-up are the end-to-end tests'.
#include "DeviceRig.h"
#include "OVBackgroundQueue.h"
#include "OVDataLookup.h"
#include "OVDeviceManager.h"
#include "OVDeviceManagerCommandSubscriber.h"
#include "OVHelper.h"
#include "OVHostReachability.h"
#include "OVNotificationCenter.h"
#include "OVSessionFileRepository.h"
#include "OVTestCapture.h"
#include "Recorded.h"
#include "SignedInService.h"
#include "SleepManager.h"

#include <QJsonArray>
#include <QTest>

#include <functional>
#include <thread>

using namespace std::chrono_literals;

class tst_OVDeviceManager : public QObject {
    Q_OBJECT

private:
    OVCloudServer m_server;
    SignedInService m_client;
    OVCredentialManager& m_credentials = m_client.credentials();
    OVPreferencesManager& m_preferences = m_client.preferences();
    OVService& m_service = m_client.service();
    DeviceRig m_rig{false};
    std::unique_ptr<QTemporaryDir> m_store;
    std::shared_ptr<OVLogCapture> m_log;
    std::shared_ptr<OVDeviceManager> m_manager;
    int m_serialCounter = 0;

    /** Each fetch status posted, with its device's serial. */
    Recorded<QPair<QString, int>> m_fetchStatuses;
    /** The serials known at each device-list change. */
    Recorded<QStringList> m_listSnapshots;

    int fetchedCount(const QString& serial) {
        return int(m_fetchStatuses.items().count({serial, OVDeviceFetchStatusFetched}));
    }

    std::shared_ptr<OVDeviceInfo> record(const QString& serial) { return m_manager->getDevice(serial); }

    /** Plugs a new device and waits until the registry knows it connected. */
    std::shared_ptr<OVDeviceInfo> plug(int sessions, quint32 pages) {
        const QString serial = QStringLiteral("OVRREG%1").arg(++m_serialCounter, 10, 10, QLatin1Char('0'));
        if (!m_rig.hub().plug(DeviceRig::plugOptions(serial, sessions, pages)))
            return nullptr;
        return QTest::qWaitFor([&] { return record(serial) && record(serial)->isConnected(); }, 10000)
                   ? record(serial)
                   : nullptr;
    }

    /** A new manager on the shared device library, as at start-up (the old one must be gone). */
    void newManager() {
        m_manager =
            OVDeviceManager::create(&m_service, &m_credentials, &m_preferences, &DeviceRig::manager());
    }

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_client.start(m_server, &error), qPrintable(error));
        OVHelper::setResourcesDirectory(QStringLiteral(OV_SOURCE_DIR "/resources/firmware"));
        OVDataLookup::sharedInstance().setService(&m_service);
        auto& center = OVNotificationCenter::defaultCenter();
        center.addObserver(this, OVNotificationName::OnDeviceSessionFetchStatusChanged,
                           [this](const OVNotification& n) {
                               const auto device = n.objectAs<OVDeviceInfo>();
                               m_fetchStatuses.append({device->serial(), device->fetchStatus()});
                           });
        center.addObserver(this, OVNotificationName::OnDeviceListChanged, [this](const OVNotification&) {
            if (!m_manager) // a dropped manager's queued refresh may still announce
                return;
            QStringList serials;
            for (const auto& d : m_manager->getDevices())
                serials << d->serial();
            m_listSnapshots.append(serials);
        });
    }

    void cleanupTestCase() { OVNotificationCenter::defaultCenter().removeObserver(this); }

    void init() {
        m_store = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_store->path()));
        m_log = OVLogCapture::install();
        m_preferences.setAutoStore(true);
        m_preferences.setAutoSync(true);
        m_client.saveCredential();
        m_listSnapshots.clear();
        newManager();
        m_manager->updateDeviceList();
        QVERIFY(QTest::qWaitFor([&] { return m_listSnapshots.count() > 0; }, 10000));
    }

    void cleanup() {
        m_rig.hub().setLinkModel(SimLinkModel::zeroDelay());
        for (const QJsonValue& device : m_rig.hub().list())
            m_rig.hub().unplug(device[QLatin1String("serial")].toString());
        QVERIFY(QTest::qWaitFor([] { return DeviceRig::manager().cdcOrvanes().isEmpty(); }, 10000));
        m_manager->cancelAll();
        QVERIFY(QTest::qWaitFor([&] { return !m_manager->isStoringSessions() && !m_manager->isSynching(); },
                                20000));
        m_manager.reset();
        QTest::qWait(50); // work queued to the main thread by the manager ends here
        OVLogCapture::uninstall();
    }

    void arrivalAndReplugKeepTheRecord() {
        const auto device = plug(2, 8);
        QVERIFY(device);
        const QString serial = device->serial();
        // Arrival: battery, default user, then the download of every session (the end-to-end tests
        // follow their upload to the web API).
        QTRY_COMPARE(device->batteryLevel(), 87);
        QTRY_COMPARE(device->defaultUserId(), std::optional<quint64>(101));
        QTRY_COMPARE_WITH_TIMEOUT(fetchedCount(serial), 1, 20000);
        QCOMPARE(device->sessions().size(), 2);
        QTRY_VERIFY(!m_manager->isStoringSessionsForDevice(device));
        for (const QString& line :
             {QStringLiteral("(observeValueForKeyPath)-CDC USB Devices in ovapi_macusb API count: 1"),
              QStringLiteral("(observeValueForKeyPath)-CDC (%1) LocationId = %2")
                  .arg(serial, OVHelper::getSerialForHID(quint32(device->locationId()))),
              QStringLiteral("USB notifies of device list changed"), QStringLiteral("updateDeviceList start"),
              QStringLiteral("CDC USB Devices in ovapi_macusb API count: 1"),
              QStringLiteral("updateDeviceList end")})
            QVERIFY2(m_log->has(line), qPrintable(line));

        QVERIFY(m_rig.hub().unplug(serial));
        QTRY_VERIFY(!device->isConnected());
        QVERIFY(m_rig.hub().setBattery(serial, 42));
        QVERIFY(m_rig.hub().replug(serial));
        QTRY_COMPARE(device->batteryLevel(), 42); // read again on the same record
        QCOMPARE(record(serial), device);
        QTRY_COMPARE_WITH_TIMEOUT(fetchedCount(serial), 2, 20000);
        QCOMPARE(device->sessions().size(), 2);

        // A refresh that changes nothing is announced too.
        const int changes = m_listSnapshots.count();
        m_manager->updateDeviceList();
        QTRY_COMPARE(m_listSnapshots.count(), changes + 1);

        // Replugged at once, the device arrives again even when no refresh saw it gone: a session list
        // it now refuses fails the new download, and the log says why nothing syncs.
        QVERIFY(m_rig.hub().addFault(serial, {SimFault::Kind::Refuse, 0, -1, OrvaneOp::SessionList}));
        QVERIFY(m_rig.hub().replug(serial));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_log->has(
                QStringLiteral("There was an error fetching sessions on device %1. Will not sync sessions")
                    .arg(serial)),
            20000);
    }

    void recoveryModeDeviceAtAKnownLocationKeepsItsRecord() {
        const auto device = plug(1, 4);
        QVERIFY(device);
        const int before = int(m_manager->getDevices().size());
        QVERIFY(m_rig.hub().recovery(device->serial()));
        QTRY_VERIFY(device->isInRecovery());
        QCOMPARE(int(m_manager->getDevices().size()), before);
        QVERIFY(!m_manager->isDeviceRecovering(device));
        QVERIFY(m_log->linesStartingWith(QStringLiteral("Recover Device")).isEmpty());
    }

    void unknownRecoveryModeDeviceIsRecovered() {
        const quint32 location = 0x3A50000;
        const QString placeholder = OVHelper::getSerialForHID(location);
        QCOMPARE(placeholder, QStringLiteral("0x3A50000"));
        const std::optional<QString> serial = m_rig.hub().addHid(location);
        QVERIFY(serial);
        // The placeholder appears, its recovery starts by itself, the device comes back in data
        // mode at the same port and the placeholder gives way to its real record.
        QTRY_VERIFY(m_log->has(QStringLiteral("Recover Device %1").arg(placeholder)));
        QTRY_VERIFY_WITH_TIMEOUT(record(*serial) && record(*serial)->isConnected(), 20000);
        QTRY_VERIFY(!record(placeholder));
        const QList<QStringList> lists = m_listSnapshots.items();
        QVERIFY(
            std::any_of(lists.begin(), lists.end(), [&](const auto& l) { return l.contains(placeholder); }));
        QCOMPARE(record(*serial)->locationId(), int(location));
        QVERIFY(!record(*serial)->isInRecovery());
        QVERIFY(!m_manager->isDeviceRecovering(record(*serial)));
    }

    // The device that used the port left long ago: the one now in recovery mode there is another.
    void recoveryModeDeviceAtTheOldPortOfAnUnpluggedOneIsRecovered() {
        m_manager->setRecoveryRestartWindow(0ms);
        const auto device = plug(1, 4);
        QVERIFY(device);
        QVERIFY(m_rig.hub().unplug(device->serial()));
        QTRY_VERIFY(!device->isConnected());
        const quint32 location = quint32(device->locationId());
        QVERIFY(m_rig.hub().addHid(location));
        QTRY_VERIFY(m_log->has(QStringLiteral("Recover Device %1").arg(OVHelper::getSerialForHID(location))));
        QVERIFY(!device->isInRecovery());
    }

    void sleepLockAndBatteryPollWithTwoDevices() {
        const SleepManager& sleep = SleepManager::sharedInstance();
        QVERIFY(!sleep.preventIdleSleep());
        QVERIFY(!m_manager->isBatteryTimerStarted());
        const auto first = plug(1, 4);
        QVERIFY(first);
        QTRY_VERIFY(sleep.preventIdleSleep());
        QVERIFY(m_manager->isBatteryTimerStarted());
        const auto second = plug(1, 4);
        QVERIFY(second);
        QTest::qWait(100);
        QVERIFY(sleep.preventIdleSleep());
        QVERIFY(m_rig.hub().unplug(first->serial()));
        QTRY_VERIFY(!first->isConnected());
        QTest::qWait(100);
        QVERIFY(sleep.preventIdleSleep());
        QVERIFY(m_manager->isBatteryTimerStarted());
        QVERIFY(m_rig.hub().unplug(second->serial()));
        QTRY_VERIFY(!sleep.preventIdleSleep());
        QTRY_VERIFY(!m_manager->isBatteryTimerStarted());
    }

    void twoDevicesPluggedBeforeStartUpKeepTheComputerAwake() {
        m_manager.reset();
        QTest::qWait(50);
        QVERIFY(!SleepManager::sharedInstance().preventIdleSleep());
        for (int i = 0; i < 2; ++i)
            QVERIFY(m_rig.hub().plug(DeviceRig::plugOptions(
                QStringLiteral("OVRREG%1").arg(++m_serialCounter, 10, 10, QLatin1Char('0')), 1, 4)));
        QTRY_COMPARE(DeviceRig::manager().cdcOrvanes().size(), 2);
        newManager();
        m_manager->updateDeviceList();
        QTRY_COMPARE(m_manager->getDevices().size(), 2);
        QTRY_VERIFY(SleepManager::sharedInstance().preventIdleSleep());
    }

    void signOutDuringDownload() {
        m_rig.hub().setLinkModel({3000, 0, 0, 0}); // slow: the download is still under way when the test acts
        const auto device = plug(1, 400);
        QVERIFY(device);
        QTRY_VERIFY(m_fetchStatuses.items().contains({device->serial(), OVDeviceFetchStatusFetching}));
        QTRY_COMPARE(device->sessions().size(), 1);
        const auto session = device->sessions().first();

        m_credentials.deleteCredential();
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignOut);
        QVERIFY(m_manager->getDevices().isEmpty());
        QVERIFY(!m_manager->isBatteryTimerStarted());
        QVERIFY(m_manager->isStoringSessions());
        QVERIFY(!m_manager->isSynching());

        // The download ends on its own and keeps every page; nothing is uploaded.
        QTRY_VERIFY_WITH_TIMEOUT(!m_manager->isStoringSessions(), 30000);
        QCOMPARE(device->fetchStatus(), int(OVDeviceFetchStatusFetched));
        QVERIFY(OVSessionFileRepository().doesSessionHaveAllData(*session, nullptr));
        QVERIFY(session->syncStatus() != OVSessionSyncStatusSynced);

        m_client.saveCredential();
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignIn);
        QTRY_VERIFY(record(device->serial()));
    }

    void uploadsNeedNoDevice_data() {
        QTest::addColumn<bool>("restart");
        QTest::newRow("unplugged during its upload") << false;
        QTest::newRow("stored complete before a restart, unplugged since") << true;
    }

    // The bytes reach the server without a replug.
    void uploadsNeedNoDevice() {
        QFETCH(bool, restart);
        m_preferences.setAutoSync(!restart);
        const auto device = plug(1, restart ? 8 : 40000);
        QVERIFY(device);
        const QString serial = device->serial();
        QTRY_COMPARE_WITH_TIMEOUT(device->sessions().size(), 1, 20000);
        const auto session = device->sessions().first();
        if (restart)
            QTRY_COMPARE_WITH_TIMEOUT(fetchedCount(serial), 1, 20000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(session->syncStatus() == OVSessionSyncStatusSyncing, 60000);
        QVERIFY(m_rig.hub().unplug(serial));
        QTRY_VERIFY(!device->isConnected());
        if (restart) {
            OVBackgroundQueue::shared().waitUntilAllOperationsAreFinished();
            m_manager.reset();
            m_preferences.setAutoSync(true);
            newManager();
            m_manager->updateDeviceList();
        }
        QTRY_VERIFY_WITH_TIMEOUT(record(serial) && record(serial)->sessions().size() == 1 &&
                                     record(serial)->sessions().first()->syncStatus() ==
                                         OVSessionSyncStatusSynced,
                                 60000);
    }

    // The first refresh reads the store and asks the web API while the user signs out and in again.
    void signOutAndInDuringTheFirstRefreshListsTheDevice() {
        const auto device = plug(1, 4);
        QVERIFY(device);
        const QString serial = device->serial();
        OVBackgroundQueue::shared().waitUntilAllOperationsAreFinished();
        m_manager.reset();
        OVDataLookup::sharedInstance().reset();
        newManager();
        // The background queue held busy: the store is read only once the user is back.
        std::atomic<bool> hold{true};
        for (int i = 0; i < OVBackgroundQueue::kWidth; ++i)
            OVBackgroundQueue::shared().addOperationWithBlock([&hold] {
                while (hold.load())
                    std::this_thread::sleep_for(5ms);
            });
        m_manager->updateDeviceList();
        m_credentials.deleteCredential();
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignOut);
        m_client.saveCredential();
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSignIn);
        hold.store(false);
        QTRY_VERIFY_WITH_TIMEOUT(record(serial) && record(serial)->isConnected(), 20000);
    }

    void reachabilityBackRetriesFailedUploads_data() {
        QTest::addColumn<int>("failedIndex");
        QTest::newRow("first session failed, the later one unknown") << 0;
        QTest::newRow("first session unknown, the later one failed") << 1;
    }

    void reachabilityBackRetriesFailedUploads() {
        QFETCH(int, failedIndex);
        m_preferences.setAutoSync(false);
        const auto device = plug(2, 8);
        QVERIFY(device);
        QTRY_COMPARE_WITH_TIMEOUT(fetchedCount(device->serial()), 1, 20000);
        const OVSessionList sessions = device->sessions();
        QCOMPARE(sessions.size(), 2);
        const auto failed = sessions.at(failedIndex);
        const auto unknown = sessions.at(1 - failedIndex);
        failed->setSyncStatus(OVSessionSyncStatusSyncFailed);
        unknown->setSyncStatus(OVSessionSyncStatusNone);

        // Fresh probes start unreachable and report the server once they reach it.
        std::shared_ptr<OVHostReachability> probes[2];
        for (auto& probe : probes) {
            probe = std::make_shared<OVHostReachability>(QStringLiteral("127.0.0.1"), m_server.port());
            probe->setInterval(1h);
        }
        m_manager->setReachabilityProbes(probes[0], probes[1]);

        QTRY_COMPARE_WITH_TIMEOUT(failed->syncStatus(), int(OVSessionSyncStatusSynced), 30000);
        if (failedIndex == 0) {
            // The walk ends at the failed session: the later one is not looked up.
            QTest::qWait(500);
            QCOMPARE(unknown->syncStatus(), int(OVSessionSyncStatusNone));
        } else {
            QTRY_VERIFY(unknown->syncStatus() != OVSessionSyncStatusNone);
        }
    }

    void eraseThenListOnlyStore() {
        m_preferences.setAutoSync(false);
        const auto device = plug(2, 8);
        QVERIFY(device);
        const QString serial = device->serial();
        QTRY_COMPARE_WITH_TIMEOUT(fetchedCount(serial), 1, 20000);
        const QString pagesLine = QStringLiteral("(%1)-storeSessionPages begin").arg(serial);
        QCOMPARE(m_log->lines().count(pagesLine), 1);

        OVError error;
        QVERIFY(m_manager->eraseDevice(device, &error));
        QTRY_COMPARE_WITH_TIMEOUT(fetchedCount(serial), 2, 20000);
        QCOMPARE(m_rig.hub().sessions(serial)->size(), 0);
        QCOMPARE(m_log->lines().count(pagesLine), 1);
    }

    // A report that arrives after the unplug (a command cut short, or answered just before) is dropped.
    void lateAnswersLeaveTheRecordOfAnUnpluggedDevice() {
        const auto device = plug(1, 4);
        QVERIFY(device);
        QTRY_COMPARE(device->batteryLevel(), 87);
        QTRY_COMPARE(device->defaultUserId(), std::optional<quint64>(101));
        QVERIFY(m_rig.hub().unplug(device->serial()));
        QTRY_VERIFY(!device->isConnected());
        OVDeviceManagerCommandSubscriber reports(m_manager);
        const auto reported = std::make_shared<OVDeviceInfo>();
        reported->setSerial(device->serial());
        reports.onGetBatteryLevelCompleted(reported, 55);
        reports.onGetDefaultUser(reported, true, 104);
        // What a disconnected record shows: no level, no user.
        QCOMPARE(device->batteryLevel(), -1);
        QCOMPARE(device->defaultUserId(), std::optional<quint64>());
    }

    void operationsOnAnUnpluggedDeviceFail() {
        const auto device = plug(1, 4); // known to the registry once, now unplugged
        QVERIFY(device);
        QVERIFY(m_rig.hub().unplug(device->serial()));
        QTRY_VERIFY(!device->isConnected());
        const QString file = OVHelper::getFirmwareFilePath();
        OVDeviceManager& m = *m_manager;
        // Each named as in its log line.
        const QList<QPair<const char*, std::function<bool(OVError*)>>> operations{
            {"identify", [&](OVError* e) { return m.identifyDevice(device, e); }},
            {"erase", [&](OVError* e) { return m.eraseDevice(device, e); }},
            {"reset", [&](OVError* e) { return m.resetDevice(device, e); }},
            {"update", [&](OVError* e) { return m.updateDevice(device, file, e); }},
            {"recover", [&](OVError* e) { return m.recoverDevice(device, file, e); }},
            {"assign", [&](OVError* e) { return m.assignDefaultUserToDevice(device, 102, e); }},
            {"get user", [&](OVError* e) { return m.getDefaultUserForDevice(device, e); }}};
        for (const auto& [name, operation] : operations) {
            OVError error;
            QVERIFY2(!operation(&error), name);
            QCOMPARE(error.domain(), QStringLiteral("com.pellwick.deviceManager"));
            QCOMPARE(error.code(), 1);
            QCOMPARE(error.description(), QStringLiteral("Device %1 not found").arg(device->serial()));
            QVERIFY2(m_log->has(QStringLiteral("No device %1 found to send %2 command")
                                    .arg(device->serial(), QLatin1String(name))),
                     name);
        }
        QVERIFY(!m_manager->isDeviceRecovering(device));
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceManager)
#include "tst_OVDeviceManager.moc"

#include "OVDeviceInfo.h"

#include <QTest>

#include <thread>

namespace {

std::shared_ptr<OVDeviceInfo> connectedDevice() {
    auto d = std::make_shared<OVDeviceInfo>();
    d->setSerial(QStringLiteral("OVR00000000123"));
    d->setName(OVDeviceInfo::nameForSerial(d->serial()));
    d->setIsConnected(true);
    d->setBatteryLevel(87);
    d->setDefaultUserId(101);
    d->setFirmwareRevision(QStringLiteral("1.0.9"));
    d->setHardwareRevision(QStringLiteral("B"));
    d->setModelNumber(QStringLiteral("OV-1"));
    d->setLocationId(0x14200000);
    return d;
}

} // namespace

class tst_OVDeviceInfo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void names_data() {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("name");
        QTest::newRow("fourteen characters keep the last three")
            << "OVR00000000123" << QStringLiteral("OV123");
        QTest::newRow("exactly eleven characters") << "OVR00000000" << QStringLiteral("OV");
        QTest::newRow("shorter than eleven keeps the serial") << "ABC" << QStringLiteral("OVABC");
    }

    void names() {
        QFETCH(QString, serial);
        QFETCH(QString, name);
        QCOMPARE(OVDeviceInfo::nameForSerial(serial), name);
    }

    void disconnectForgetsOnlyWhatAConnectedDeviceTells_data() {
        QTest::addColumn<bool>("byCopy");
        QTest::newRow("unplugged") << false;
        QTest::newRow("a disconnected record copied onto it") << true;
    }

    void disconnectForgetsOnlyWhatAConnectedDeviceTells() {
        QFETCH(bool, byCopy);
        auto device = connectedDevice();
        device->setSessions({std::make_shared<OVSession>()});
        device->setFetchStatus(OVDeviceFetchStatusFetched);
        auto gone = connectedDevice();
        gone->setIsConnected(false);
        if (byCopy)
            device->copyFrom(*gone);
        else
            device->setIsConnected(false);
        QVERIFY(!device->isConnected());
        QCOMPARE(device->batteryLevel(), -1);
        QVERIFY(!device->defaultUserId().has_value());
        QCOMPARE(device->firmwareRevision(), QStringLiteral("N/A"));
        QCOMPARE(device->hardwareRevision(), QStringLiteral("N/A"));
        QCOMPARE(device->modelNumber(), QStringLiteral("N/A"));
        QCOMPARE(device->serial(), QStringLiteral("OVR00000000123"));
        QCOMPARE(device->name(), QStringLiteral("OV123"));
        QCOMPARE(device->sessions().size(), 1);
        QCOMPARE(device->fetchStatus(), int(OVDeviceFetchStatusFetched));
        QCOMPARE(device->locationId(), 0x14200000);
    }

    void copyFromKeepsTheLongLivedState() {
        auto known = std::make_shared<OVDeviceInfo>();
        known->setSerial(QStringLiteral("OVR00000000123"));
        known->setSessions({std::make_shared<OVSession>(), std::make_shared<OVSession>()});
        known->setFetchStatus(OVDeviceFetchStatusFetchFailed);
        known->setFetchErrorInformation(QStringLiteral("unplugged"));
        known->setIsInRecovery(true);
        auto fresh = connectedDevice();
        fresh->setLocationId(7);
        known->copyFrom(*fresh);
        QVERIFY(known->isConnected());
        QCOMPARE(known->batteryLevel(), 87);
        QCOMPARE(known->defaultUserId().value_or(0), quint64(101));
        QCOMPARE(known->firmwareRevision(), QStringLiteral("1.0.9"));
        QCOMPARE(known->modelNumber(), QStringLiteral("OV-1"));
        QCOMPARE(known->locationId(), 7);
        QCOMPARE(known->sessions().size(), 2);
        QCOMPARE(known->fetchStatus(), int(OVDeviceFetchStatusFetchFailed));
        QCOMPARE(known->fetchErrorInformation(), QStringLiteral("unplugged"));
        QVERIFY(known->isInRecovery());
        QCOMPARE(known->description(), QStringLiteral("name:OV123, serial:OVR00000000123, batt:87"));
    }

    // Devices and their sessions are read and written from the device, store and upload threads.
    void recordsAreSafeFromManyThreads() {
        auto device = connectedDevice();
        auto session = std::make_shared<OVSession>();
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([device, session, t] {
                for (int i = 0; i < 500; ++i) {
                    device->modifySessions([&](OVSessionList& list) { list.append(session); });
                    (void)device->sessions().size();
                    device->setBatteryLevel(i);
                    (void)device->description();
                    session->setSyncStatus(t);
                    session->setSyncErrorInformation(QString::number(i));
                    (void)session->canSync();
                    (void)session->description();
                }
            });
        for (auto& t : threads)
            t.join();
        QCOMPARE(device->sessions().size(), 2000);
        QVERIFY(session->syncStatus() >= 0 && session->syncStatus() < 4);
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceInfo)
#include "tst_OVDeviceInfo.moc"

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

/** What a disconnect or a copy may change, as one text. */
QString fields(const OVDeviceInfo& d) {
    const QString user = d.defaultUserId() ? QString::number(*d.defaultUserId()) : QStringLiteral("none");
    return (QStringList() << QString::number(d.isConnected()) << QString::number(d.batteryLevel()) << user
                          << d.firmwareRevision() << d.hardwareRevision() << d.modelNumber() << d.serial()
                          << d.name() << QString::number(d.sessions().size())
                          << QString::number(d.fetchStatus()) << d.fetchErrorInformation()
                          << QString::number(d.isInRecovery()) << QString::number(d.locationId(), 16))
        .join(QLatin1Char('|'));
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

    // An unplug, or a disconnected record copied onto it, forgets what only a connected device tells; a
    // connected one brings it back. Both keep the record's own state: sessions, fetch status, recovery.
    void disconnectAndCopyKeepTheLongLivedState_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("fields");
        const QString forgotten =
            QStringLiteral("0|-1|none|N/A|N/A|N/A|OVR00000000123|OV123|2|3|unplugged|1|14200000");
        QTest::newRow("unplugged") << "unplug" << forgotten;
        QTest::newRow("a disconnected record copied onto it") << "copy disconnected" << forgotten;
        QTest::newRow("a connected record copied onto it")
            << "copy connected"
            << QStringLiteral("1|50|101|1.0.9|B|OV-1|OVR00000000123|OV123|2|3|unplugged|1|7");
    }
    void disconnectAndCopyKeepTheLongLivedState() {
        QFETCH(QString, how);
        auto device = connectedDevice();
        device->setSessions({std::make_shared<OVSession>(), std::make_shared<OVSession>()});
        device->setFetchStatus(OVDeviceFetchStatusFetchFailed);
        device->setFetchErrorInformation(QStringLiteral("unplugged"));
        device->setIsInRecovery(true);
        auto other = connectedDevice();
        other->setBatteryLevel(50);
        if (how == QLatin1String("copy connected"))
            other->setLocationId(7);
        else
            other->setIsConnected(false);
        if (how == QLatin1String("unplug"))
            device->setIsConnected(false);
        else
            device->copyFrom(*other);
        QTEST(fields(*device), "fields");
        QCOMPARE(device->description(),
                 QStringLiteral("name:OV123, serial:OVR00000000123, batt:%1").arg(device->batteryLevel()));
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

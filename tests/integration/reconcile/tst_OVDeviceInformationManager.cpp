// Devices rebuilt from the local store alone, with the account's users from a real ovcloud server.
#include "CloudRig.h"
#include "OVDataLookup.h"
#include "OVDeviceInformationManager.h"

#include <QTest>

namespace {

// Eleven characters, then the part a device's name shows.
const QString kFirst = QStringLiteral("OVR000000001234");
const QString kSecond = QStringLiteral("OVR000000005678");

} // namespace

class tst_OVDeviceInformationManager : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_cloud.start(&error), qPrintable(error));
        OVDataLookup::sharedInstance().setService(&m_probe);
        storedSession(kFirst, 100, 101, 4, 0);
        storedSession(kFirst, 200, 999, 4, 0);
        storedSession(kFirst, 300, 102, 4, 0);
        storedSession(kSecond, 50, 103, 4, 0);
    }

    void rebuildsDevicesFromTheStore_data() {
        QTest::addColumn<int>("userLoadError");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<QList<double>>("firstStarts");
        QTest::newRow("users loaded: unknown user left out") << 0 << 0 << QList<double>{300, 100};
        QTest::newRow("users not loadable: every session kept") << 500 << 0 << QList<double>{300, 200, 100};
        QTest::newRow("credentials refused: stops") << 2 << 2 << QList<double>{};
    }

    void rebuildsDevicesFromTheStore() {
        QFETCH(int, userLoadError);
        QFETCH(int, errorCode);
        QFETCH(QList<double>, firstStarts);
        OVDataLookup::sharedInstance().reset();
        m_probe.failUsersWithCode = userLoadError;

        std::optional<QList<std::shared_ptr<OVDeviceInfo>>> devices;
        std::optional<OVError> error;
        std::atomic<bool> done{false};
        OVDeviceInformationManager manager;
        manager.getDeviceInformationsFromLocalStorage([&](auto d, auto e) {
            devices = std::move(d);
            error = std::move(e);
            done = true;
        });
        QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 30000));
        if (errorCode) {
            QVERIFY(!devices);
            QCOMPARE(error->code(), errorCode);
            return;
        }
        QVERIFY(!error);
        QCOMPARE(devices->size(), 2);
        for (const auto& device : *devices) {
            QVERIFY(!device->isConnected());
            QList<double> starts;
            for (const auto& session : device->sessions())
                starts << session->start().secondsSince1970();
            if (device->serial() == kFirst) {
                QCOMPARE(device->name(), QStringLiteral("OV1234"));
                QCOMPARE(starts, firstStarts);
            } else {
                QCOMPARE(device->name(), QStringLiteral("OV5678"));
                QCOMPARE(starts, QList<double>{50});
            }
        }
    }

private:
    CloudRig m_cloud;
    ServiceProbe m_probe{m_cloud.service()};
};

QTEST_GUILESS_MAIN(tst_OVDeviceInformationManager)
#include "tst_OVDeviceInformationManager.moc"

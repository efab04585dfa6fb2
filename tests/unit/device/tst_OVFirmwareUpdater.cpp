// Whether the shipped firmware is newer than a device's: versions read from the shipped file's name
// and from the device's revision, compared number by number.
#include "OVDeviceInfo.h"
#include "OVFirmwareUpdater.h"
#include "OVHelper.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_OVFirmwareUpdater : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { OVHelper::setResourcesDirectory(QString()); }

    void updateDue_data() {
        QTest::addColumn<QStringList>("shippedFiles");
        QTest::addColumn<QString>("revision");
        QTest::addColumn<QString>("shippedVersion");
        QTest::addColumn<QString>("deviceVersion");
        QTest::addColumn<bool>("due");
        const QStringList oneTen{QStringLiteral("OVFW_1_0_10.hff")};
        QTest::newRow("patch 9 is lower than patch 10")
            << oneTen << QStringLiteral("1.0.9") << QStringLiteral("1.0.10") << QStringLiteral("1.0.9")
            << true;
        QTest::newRow("equal versions")
            << QStringList{QStringLiteral("OVFW_1_1_0.hff")} << QStringLiteral("1.1.0")
            << QStringLiteral("1.1.0") << QStringLiteral("1.1.0") << false;
        QTest::newRow("device newer") << oneTen << QStringLiteral("1.2.0") << QStringLiteral("1.0.10")
                                      << QStringLiteral("1.2.0") << false;
        QTest::newRow("minor 10 is higher than minor 9")
            << QStringList{QStringLiteral("OVFW_0_9_0.hff")} << QStringLiteral("0.10.0")
            << QStringLiteral("0.9.0") << QStringLiteral("0.10.0") << false;
        QTest::newRow("plain revision read as the minor number")
            << QStringList{QStringLiteral("OVFW_0_12_0.hff")} << QStringLiteral("12")
            << QStringLiteral("0.12.0") << QStringLiteral("0.12.0") << false;
        QTest::newRow("plain revision lower")
            << QStringList{QStringLiteral("OVFW_0_12_0.hff")} << QStringLiteral("3")
            << QStringLiteral("0.12.0") << QStringLiteral("0.3.0") << true;
        QTest::newRow("first image by name, other files ignored")
            << QStringList{QStringLiteral("OVFW_2_0_0.hff"), QStringLiteral("OVFW_1_5_0.hff"),
                           QStringLiteral("OVFW_0_1_0.bin")}
            << QStringLiteral("1.4.9") << QStringLiteral("1.5.0") << QStringLiteral("1.4.9") << true;
    }

    void updateDue() {
        QFETCH(QStringList, shippedFiles);
        QFETCH(QString, revision);
        QFETCH(QString, shippedVersion);
        QFETCH(QString, deviceVersion);
        QFETCH(bool, due);
        QTemporaryDir resources;
        for (const QString& name : shippedFiles) {
            QFile file(resources.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        OVHelper::setResourcesDirectory(resources.path());
        OVDeviceInfo device;
        device.setFirmwareRevision(revision);
        const OVFirmwareUpdater updater({});

        QCOMPARE(updater.getFirmwareVersionIncludedInBundle(), shippedVersion);
        QCOMPARE(OVFirmwareUpdater::getFirmwareVersionFromDevice(device), deviceVersion);
        QCOMPARE(updater.isUpdateAvailableForDevice(device), due);
    }
};

QTEST_GUILESS_MAIN(tst_OVFirmwareUpdater)
#include "tst_OVFirmwareUpdater.moc"

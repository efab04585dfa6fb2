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
        QTest::addColumn<QString>("shippedFiles"); // comma-separated
        QTest::addColumn<QString>("revision");
        QTest::addColumn<QString>("versions"); // shipped, device's, and whether an update is due
        const auto row = [](const char* name, const char* files, const char* revision, const char* versions) {
            QTest::newRow(name) << QString::fromLatin1(files) << QString::fromLatin1(revision)
                                << QString::fromLatin1(versions);
        };
        row("patch 9 is lower than patch 10", "OVFW_1_0_10.hff", "1.0.9", "1.0.10 1.0.9 due");
        row("equal versions", "OVFW_1_1_0.hff", "1.1.0", "1.1.0 1.1.0 current");
        row("device newer", "OVFW_1_0_10.hff", "1.2.0", "1.0.10 1.2.0 current");
        row("minor 10 is higher than minor 9", "OVFW_0_9_0.hff", "0.10.0", "0.9.0 0.10.0 current");
        row("plain revision read as the minor number", "OVFW_0_12_0.hff", "12", "0.12.0 0.12.0 current");
        row("plain revision lower", "OVFW_0_12_0.hff", "3", "0.12.0 0.3.0 due");
        row("first image by name, other files ignored", "OVFW_2_0_0.hff,OVFW_1_5_0.hff,OVFW_0_1_0.bin",
            "1.4.9", "1.5.0 1.4.9 due");
    }

    void updateDue() {
        QFETCH(QString, shippedFiles);
        QFETCH(QString, revision);
        QFETCH(QString, versions);
        QTemporaryDir resources;
        for (const QString& name : shippedFiles.split(QLatin1Char(','))) {
            QFile file(resources.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        OVHelper::setResourcesDirectory(resources.path());
        OVDeviceInfo device;
        device.setFirmwareRevision(revision);
        const OVFirmwareUpdater updater({});

        const QStringList got{updater.getFirmwareVersionIncludedInBundle(),
                              OVFirmwareUpdater::getFirmwareVersionFromDevice(device),
                              QLatin1String(updater.isUpdateAvailableForDevice(device) ? "due" : "current")};
        QCOMPARE(got.join(QLatin1Char(' ')), versions);
    }
};

QTEST_GUILESS_MAIN(tst_OVFirmwareUpdater)
#include "tst_OVFirmwareUpdater.moc"

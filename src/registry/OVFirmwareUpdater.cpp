#include "OVFirmwareUpdater.h"

#include "OVDeviceInfo.h"
#include "OVDeviceManagerProtocol.h"
#include "OVHelper.h"
#include "OVLogFormat.h"

#include <QFileInfo>
#include <QRegularExpression>

OVFirmwareUpdater::OVFirmwareUpdater(std::weak_ptr<OVDeviceManagerProtocol> deviceMgr)
    : m_deviceMgr(std::move(deviceMgr)) {}

QString OVFirmwareUpdater::getFirmwareFilePath() const {
    return OVHelper::getFirmwareFilePath();
}

QString OVFirmwareUpdater::getFirmwareVersionIncludedInBundle() const {
    const QStringList parts = QFileInfo(getFirmwareFilePath()).completeBaseName().split(QLatin1Char('_'));
    return OVLogFormat::format("%@.%@.%@", parts.value(1), parts.value(2), parts.value(3));
}

QString OVFirmwareUpdater::getFirmwareVersionFromDevice(const OVDeviceInfo& device) {
    const QString revision = device.firmwareRevision();
    if (revision.contains(QLatin1Char('.')))
        return revision;
    return OVLogFormat::format("0.%@.0", OVHelper::getFirmwareVersionFromString(revision));
}

bool OVFirmwareUpdater::isUpdateAvailableForDevice(const OVDeviceInfo& device) const {
    return compareNumerically(getFirmwareVersionFromDevice(device), getFirmwareVersionIncludedInBundle()) < 0;
}

bool OVFirmwareUpdater::updateDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) const {
    const std::shared_ptr<OVDeviceManagerProtocol> manager = m_deviceMgr.lock();
    return manager && manager->updateDevice(device, getFirmwareFilePath(), error);
}

bool OVFirmwareUpdater::recoverDevice(const std::shared_ptr<OVDeviceInfo>& device, OVError* error) const {
    const std::shared_ptr<OVDeviceManagerProtocol> manager = m_deviceMgr.lock();
    return manager && manager->recoverDevice(device, getFirmwareFilePath(), error);
}

int OVFirmwareUpdater::compareNumerically(const QString& a, const QString& b) {
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const int startA = i;
            const int startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            // Compared as numbers of any length: leading zeros dropped, then longer is larger.
            const QString runA =
                a.mid(startA, i - startA).remove(QRegularExpression(QStringLiteral("^0+(?=.)")));
            const QString runB =
                b.mid(startB, j - startB).remove(QRegularExpression(QStringLiteral("^0+(?=.)")));
            if (runA.size() != runB.size())
                return runA.size() < runB.size() ? -1 : 1;
            if (const int order = runA.compare(runB))
                return order;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    return int(a.size() - i) - int(b.size() - j);
}

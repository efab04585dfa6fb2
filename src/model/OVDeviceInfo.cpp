#include "OVDeviceInfo.h"

#include "OVLogFormat.h"

#include <QCoreApplication>

QString OVDeviceInfo::nameForSerial(const QString& serial) {
    if (serial.size() < 11)
        return QStringLiteral("OV") + serial;
    return OVLogFormat::format("OV%@", serial.mid(11));
}

void OVDeviceInfo::setIsConnected(bool connected) {
    const QString notAvailable = QCoreApplication::translate("OVDeviceInfo", "N/A");
    locked([&] {
        m_isConnected = connected;
        if (connected)
            return;
        m_batteryLevel = -1;
        m_defaultUserId.reset();
        m_firmwareRevision = notAvailable;
        m_hardwareRevision = notAvailable;
        m_modelNumber = notAvailable;
    });
}

std::shared_ptr<OVSession> OVDeviceInfo::sessionStartingAt(qint64 startSeconds) const {
    for (const auto& session : sessions()) {
        if (session->startsInSecond(startSeconds))
            return session;
    }
    return nullptr;
}

void OVDeviceInfo::modifySessions(const std::function<void(OVSessionList&)>& edit) {
    locked([&] { edit(m_sessions); });
}

void OVDeviceInfo::copyFrom(const OVDeviceInfo& other) {
    if (&other == this)
        return;
    setIsConnected(other.isConnected());
    setSerial(other.serial());
    setName(other.name());
    setBatteryLevel(other.batteryLevel());
    setDefaultUserId(other.defaultUserId());
    setFirmwareRevision(other.firmwareRevision());
    setHardwareRevision(other.hardwareRevision());
    setModelNumber(other.modelNumber());
    setLocationId(other.locationId());
}

QString OVDeviceInfo::description() const {
    return locked([this] {
        return OVLogFormat::format("name:%@, serial:%@, batt:%i", m_name, m_serial, m_batteryLevel);
    });
}

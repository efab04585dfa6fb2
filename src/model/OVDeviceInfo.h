#pragma once

#include "OVDeviceFetchStatus.h"
#include "OVSession.h"
#include "OVSharedRecord.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class OrvaneCDCDevice;
class OrvaneUSBDevice;

using OVSessionList = QList<std::shared_ptr<OVSession>>;

/**
 * One device the service knows, connected or not; keyed by serial. Owned by the device registry,
 * shared by reference; every accessor is thread-safe.
 */
class OVDeviceInfo : public OVSharedRecord {
public:
    /** A record from a device on its data interface (defined with the device layer). */
    static std::shared_ptr<OVDeviceInfo> buildDeviceInfoFromUSBDevice(const OrvaneCDCDevice& device);
    /** A record from a device in recovery mode (defined with the device layer). */
    static std::shared_ptr<OVDeviceInfo> buildDeviceInfoFromHIDDevice(const OrvaneUSBDevice& device);

    /**
     * "OV" followed by the serial from its 12th character on. A serial shorter than that keeps all
     * of its characters ("OV" + serial), so two short serials never share a name.
     */
    static QString nameForSerial(const QString& serial);

    QString serial() const { return read(m_serial); }
    void setSerial(const QString& v) { write(m_serial, v); }
    QString name() const { return read(m_name); }
    void setName(const QString& v) { write(m_name, v); }
    QString modelNumber() const { return read(m_modelNumber); }
    void setModelNumber(const QString& v) { write(m_modelNumber, v); }
    QString hardwareRevision() const { return read(m_hardwareRevision); }
    void setHardwareRevision(const QString& v) { write(m_hardwareRevision, v); }
    QString firmwareRevision() const { return read(m_firmwareRevision); }
    void setFirmwareRevision(const QString& v) { write(m_firmwareRevision, v); }
    int batteryLevel() const { return read(m_batteryLevel); }
    void setBatteryLevel(int v) { write(m_batteryLevel, v); }
    bool isConnected() const { return read(m_isConnected); }
    /** When false, also forgets what only a connected device tells: battery, user, revisions. */
    void setIsConnected(bool connected);
    std::optional<quint64> defaultUserId() const { return read(m_defaultUserId); }
    void setDefaultUserId(std::optional<quint64> v) { write(m_defaultUserId, v); }
    int locationId() const { return read(m_locationId); }
    void setLocationId(int v) { write(m_locationId, v); }
    bool isInRecovery() const { return read(m_isInRecovery); }
    void setIsInRecovery(bool v) { write(m_isInRecovery, v); }
    int fetchStatus() const { return read(m_fetchStatus); }
    void setFetchStatus(int v) { write(m_fetchStatus, v); }
    QString fetchErrorInformation() const { return read(m_fetchErrorInformation); }
    void setFetchErrorInformation(const QString& v) { write(m_fetchErrorInformation, v); }

    /** A snapshot of the session list. */
    OVSessionList sessions() const { return read(m_sessions); }
    void setSessions(const OVSessionList& sessions) { write(m_sessions, sessions); }
    /** The session that starts in that whole second since 1970, or null. */
    std::shared_ptr<OVSession> sessionStartingAt(qint64 startSeconds) const;
    /** Edits the session list in place with the record's lock held. */
    void modifySessions(const std::function<void(OVSessionList&)>& edit);

    /** Takes what a reconnecting device reports; keeps sessions, recovery flag and fetch state. */
    void copyFrom(const OVDeviceInfo& other);
    /** "name:%@, serial:%@, batt:%i". */
    QString description() const;

private:
    QString m_serial;
    QString m_name;
    QString m_modelNumber;
    QString m_hardwareRevision;
    QString m_firmwareRevision;
    int m_batteryLevel = -1;
    bool m_isConnected = false;
    std::optional<quint64> m_defaultUserId;
    int m_locationId = 0;
    bool m_isInRecovery = false;
    OVSessionList m_sessions;
    int m_fetchStatus = OVDeviceFetchStatusIdle;
    QString m_fetchErrorInformation;
};

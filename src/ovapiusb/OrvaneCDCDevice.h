#pragma once

#include "OVDate.h"
#include "OrvaneSDSessionInformation.h"
#include "OrvaneUSBDevice.h"

#include <QString>

/** What a data-mode device tells about itself when attached. */
struct OrvaneDeviceInformations {
    QString serial;
    QString model;
    QString hwRevision;
    QString fwRevision;
};

/** The response of a battery request. */
struct OrvaneBatteryInformation {
    /** Charge in percent. */
    int batteryLevel = 0;
};

/**
 * A device in data mode. Every request takes (target, callback, user info), answers at once whether
 * the device accepted it, and later calls back with (device, status, response, user info); see
 * OrvaneUSBDevice for who keeps the target and when a callback never comes. Responses on status 0:
 *   getBatteryInformationsAndNotify     OrvaneBatteryInformation
 *   getSDCardPage                       QByteArray (the page, normally 512 bytes)
 *   getSDRecordedSessionListWithTime    OrvaneSessionList (sessions starting between the dates)
 *   getDefaultUserAndNotify             quint32 (4294967295: no user)
 *   the others                          nothing (an empty std::any)
 * A failed status carries no response.
 */
class OrvaneCDCDevice : public OrvaneUSBDevice {
public:
    /** A device that reaches nothing (every request is refused); for records and tests. */
    OrvaneCDCDevice(OrvaneDeviceInformations informations, quint32 locationID);

    const OrvaneDeviceInformations& deviceInformations() const { return m_informations; }

    bool getBatteryInformationsAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                                         const QVariantMap& userInfo = {});
    bool getSDCardPage(quint64 pageNumber, std::shared_ptr<void> target, OrvaneCommandCallback callback,
                       const QVariantMap& userInfo = {});
    bool getSDRecordedSessionListWithTime(const OVDate& fromDate, const OVDate& toDate,
                                          std::shared_ptr<void> target, OrvaneCommandCallback callback,
                                          const QVariantMap& userInfo = {});
    bool eraseSDCardAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                              const QVariantMap& userInfo = {});
    bool identifyAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                           const QVariantMap& userInfo = {});
    /** Empties the session table, forgets the default user; the device then restarts. */
    bool resetToFactoryDefaultAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                                        const QVariantMap& userInfo = {});
    bool setRTC(const OVDate& date, std::shared_ptr<void> target, OrvaneCommandCallback callback,
                const QVariantMap& userInfo = {});
    bool setDefaultUser(quint32 userId, std::shared_ptr<void> target, OrvaneCommandCallback callback,
                        const QVariantMap& userInfo = {});
    bool getDefaultUserAndNotify(std::shared_ptr<void> target, OrvaneCommandCallback callback,
                                 const QVariantMap& userInfo = {});

    /** "OrvaneCDCDevice serial:%@ location:0x%X". */
    QString description() const override;

private:
    friend class OrvaneDeviceLink;
    OrvaneCDCDevice(std::weak_ptr<OrvaneDeviceLink> link, quint64 attachment, quint32 locationID,
                    OrvaneDeviceInformations informations);

    bool sendSimple(OrvaneOp op, quint64 arg1, quint64 arg2, std::shared_ptr<void> target,
                    OrvaneCommandCallback callback, const QVariantMap& userInfo);

    const OrvaneDeviceInformations m_informations;
};

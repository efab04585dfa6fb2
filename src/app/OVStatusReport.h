#pragma once

#include "OVDeviceInfo.h"
#include "OVUser.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

/**
 * What `ovservices status` shows: the signed-in user, every known device with its sessions, and
 * whether anything is storing or syncing. The JSON keys are stable (docs/control.md); the table is
 * drawn from that same JSON, so the two never disagree.
 */
class OVStatusReport {
public:
    /** Devices are listed by serial, sessions newest first. */
    static QJsonObject build(const std::optional<OVUser>& user,
                             const QList<std::shared_ptr<OVDeviceInfo>>& devices, bool storing, bool syncing);
    /** A human table of a report made by build(). */
    static QString toTable(const QJsonObject& report);

    /** The words the device list uses for a fetch status: "Idle", "Fetching", "Fetched", "Fetch Failed". */
    static QString fetchStatusText(int fetchStatus);
    /** The words the session table uses for a session's state, without its percentage. */
    static QString syncStatusText(int syncStatus, bool crcCorruption);

private:
    static QJsonObject deviceObject(const OVDeviceInfo& device);
    static QJsonObject sessionObject(const OVSession& session);
    static QString dateText(const OVDate& date);
};

#include "OVStatusReport.h"

#include "OVHelper.h"

#include <QJsonArray>
#include <QTextStream>

#include <algorithm>

namespace {
// The states whose percentage means something: uploading, downloading, checking.
const QList<int> kProgressStatuses = {OVSessionSyncStatusSyncing, OVSessionSyncStatusStoring,
                                      OVSessionSyncStatusCrcChecking};

QJsonValue optionalNumber(const std::optional<quint64>& value) {
    return value ? QJsonValue(static_cast<double>(*value)) : QJsonValue(QJsonValue::Null);
}
} // namespace

QJsonObject OVStatusReport::build(const std::optional<OVUser>& user,
                                  const QList<std::shared_ptr<OVDeviceInfo>>& devices, bool storing,
                                  bool syncing) {
    QJsonObject report;
    if (user) {
        report.insert(
            QStringLiteral("user"),
            QJsonObject{{QStringLiteral("id"), user->identifier ? QJsonValue(double(*user->identifier))
                                                                : QJsonValue(QJsonValue::Null)},
                        {QStringLiteral("username"), user->username.value_or(QString())}});
    } else {
        report.insert(QStringLiteral("user"), QJsonValue(QJsonValue::Null));
    }
    auto sorted = devices;
    OVHelper::sortDevicesAsc(sorted);
    QJsonArray deviceArray;
    for (const auto& device : sorted)
        deviceArray.append(deviceObject(*device));
    report.insert(QStringLiteral("devices"), deviceArray);
    report.insert(QStringLiteral("storing"), storing);
    report.insert(QStringLiteral("syncing"), syncing);
    return report;
}

QJsonObject OVStatusReport::deviceObject(const OVDeviceInfo& device) {
    auto sessions = device.sessions();
    OVHelper::sortSessionsDesc(sessions);
    QJsonArray sessionArray;
    for (const auto& session : sessions)
        sessionArray.append(sessionObject(*session));
    const int fetchStatus = device.fetchStatus();
    return QJsonObject{
        {QStringLiteral("serial"), device.serial()},
        {QStringLiteral("name"), device.name()},
        {QStringLiteral("connected"), device.isConnected()},
        {QStringLiteral("recovery"), device.isInRecovery()},
        {QStringLiteral("battery"), device.batteryLevel()},
        {QStringLiteral("firmware"), device.firmwareRevision()},
        {QStringLiteral("defaultUser"), optionalNumber(device.defaultUserId())},
        {QStringLiteral("fetchStatus"), fetchStatus},
        {QStringLiteral("fetchStatusText"), fetchStatusText(fetchStatus)},
        {QStringLiteral("fetchError"), device.fetchErrorInformation()},
        {QStringLiteral("sessions"), sessionArray},
    };
}

QJsonObject OVStatusReport::sessionObject(const OVSession& session) {
    const int status = session.syncStatus();
    return QJsonObject{
        {QStringLiteral("start"), dateText(session.start())},
        {QStringLiteral("end"), dateText(session.end())},
        {QStringLiteral("startSeconds"), session.start().secondsSince1970()},
        {QStringLiteral("startPage"), static_cast<double>(session.startPage())},
        {QStringLiteral("endPage"), static_cast<double>(session.endPage())},
        {QStringLiteral("pages"), static_cast<double>(session.pageCount())},
        {QStringLiteral("user"), static_cast<double>(session.userId())},
        {QStringLiteral("syncStatus"), status},
        {QStringLiteral("syncStatusText"), syncStatusText(status, session.crcCorruption())},
        {QStringLiteral("percentage"), session.percentage()},
        {QStringLiteral("error"), session.syncErrorInformation()},
    };
}

QString OVStatusReport::dateText(const OVDate& date) {
    return date.toDateTime().toUTC().toString(Qt::ISODateWithMs);
}

QString OVStatusReport::fetchStatusText(int fetchStatus) {
    switch (fetchStatus) {
    case OVDeviceFetchStatusIdle:
        return QStringLiteral("Idle");
    case OVDeviceFetchStatusFetching:
        return QStringLiteral("Fetching");
    case OVDeviceFetchStatusFetched:
        return QStringLiteral("Fetched");
    case OVDeviceFetchStatusFetchFailed:
        return QStringLiteral("Fetch Failed");
    default:
        return QStringLiteral("Unknown");
    }
}

QString OVStatusReport::syncStatusText(int syncStatus, bool crcCorruption) {
    switch (syncStatus) {
    case OVSessionSyncStatusNone:
        return QStringLiteral("Status N/A");
    case OVSessionSyncStatusReadyToSync:
    case OVSessionSyncStatusSyncCancelled:
    case OVSessionSyncStatusStored:
        return QStringLiteral("Ready to Sync");
    case OVSessionSyncStatusSyncStarted:
    case OVSessionSyncStatusSyncing:
        return QStringLiteral("Syncing");
    case OVSessionSyncStatusSynced:
        return QStringLiteral("Synced");
    case OVSessionSyncStatusSyncFailed:
        return QStringLiteral("Failed Syncing");
    case OVSessionSyncStatusStoringFailed:
    case OVSessionSyncStatusStoringCancelled:
        return crcCorruption ? QStringLiteral("Corrupted") : QStringLiteral("Waiting for Storing");
    case OVSessionSyncStatusStoring:
        return QStringLiteral("Storing Locally");
    case OVSessionSyncStatusCrcChecking:
        return QStringLiteral("CRC Checking");
    default:
        return QStringLiteral("Unknown");
    }
}

QString OVStatusReport::toTable(const QJsonObject& report) {
    QString text;
    QTextStream out(&text);
    const QJsonObject user = report.value(QStringLiteral("user")).toObject();
    out << "User: "
        << (user.isEmpty() ? QStringLiteral("(not signed in)")
                           : user.value(QStringLiteral("username")).toString())
        << "\n";
    out << "Storing: " << (report.value(QStringLiteral("storing")).toBool() ? "yes" : "no")
        << "   Syncing: " << (report.value(QStringLiteral("syncing")).toBool() ? "yes" : "no") << "\n";
    const QJsonArray devices = report.value(QStringLiteral("devices")).toArray();
    if (devices.isEmpty())
        out << "No devices.\n";
    for (const auto& deviceValue : devices) {
        const QJsonObject device = deviceValue.toObject();
        QString state = device.value(QStringLiteral("connected")).toBool() ? QStringLiteral("connected")
                                                                           : QStringLiteral("not connected");
        if (device.value(QStringLiteral("recovery")).toBool())
            state += QStringLiteral(", recovery mode");
        // A device that is not connected has no battery reading (-1).
        const int battery = device.value(QStringLiteral("battery")).toInt();
        const QString batteryText = battery < 0 ? QStringLiteral("N/A") : QStringLiteral("%1%").arg(battery);
        out << "\n"
            << device.value(QStringLiteral("serial")).toString() << "  "
            << device.value(QStringLiteral("name")).toString() << "  " << state << "  battery " << batteryText
            << "  firmware " << device.value(QStringLiteral("firmware")).toString() << "  "
            << device.value(QStringLiteral("fetchStatusText")).toString();
        const QString fetchError = device.value(QStringLiteral("fetchError")).toString();
        if (!fetchError.isEmpty())
            out << " (" << fetchError << ")";
        out << "\n";
        const QString progress = device.value(QStringLiteral("progressText")).toString();
        if (!progress.isEmpty())
            out << "  now: " << progress.section(QStringLiteral(": "), 1) << "\n";
        for (const auto& sessionValue : device.value(QStringLiteral("sessions")).toArray()) {
            const QJsonObject session = sessionValue.toObject();
            const QString start = session.value(QStringLiteral("start")).toString().left(19);
            out << "  " << QString(start).replace(QLatin1Char('T'), QLatin1Char(' ')) << "  "
                << QString::number(session.value(QStringLiteral("pages")).toDouble(), 'f', 0)
                       .rightJustified(8)
                << " pages  user "
                << QString::number(session.value(QStringLiteral("user")).toDouble(), 'f', 0) << "  "
                << session.value(QStringLiteral("syncStatusText")).toString();
            if (kProgressStatuses.contains(session.value(QStringLiteral("syncStatus")).toInt()))
                out << " " << session.value(QStringLiteral("percentage")).toInt() << "%";
            const QString error = session.value(QStringLiteral("error")).toString();
            if (!error.isEmpty())
                out << "  " << error;
            out << "\n";
        }
    }
    return text;
}

#include "OVOrvaneCellModel.h"

#include "OVDeviceInfo.h"
#include "OVSession.h"
#include "OVUser.h"

#include <algorithm>

namespace {

constexpr int kUnknownLevel = -1;
constexpr int kFullLevel = 100;

} // namespace

QString OVOrvaneCellModel::userText(const std::optional<OVUser>& user) {
    if (!user)
        return tr("Unknown");
    const QString name = QStringLiteral("%1 %2")
                             .arg(user->firstName.value_or(QString()), user->lastName.value_or(QString()))
                             .trimmed();
    // A member who never gave a name is still someone to pick: never a blank row.
    for (const QString& text : {name, user->username.value_or(QString()), user->email.value_or(QString())}) {
        if (!text.trimmed().isEmpty())
            return text;
    }
    return tr("Unknown");
}

QString OVOrvaneCellModel::batteryText(int level) {
    if (level == kUnknownLevel)
        return tr("N/A");
    return level == kFullLevel ? tr("Charged") : tr("Charging");
}

QString OVOrvaneCellModel::batteryIcon(int level) {
    if (level == kUnknownLevel)
        return QStringLiteral("battery_na");
    return level == kFullLevel ? QStringLiteral("battery_charged") : QStringLiteral("battery_charging");
}

QString OVOrvaneCellModel::connectionText(const OVDeviceInfo& device) {
    if (device.isConnected())
        return tr("Connected");
    return device.isInRecovery() ? tr("Recovering") : tr("Disconnected");
}

OVDeviceViewColor OVOrvaneCellModel::connectionColor(const OVDeviceInfo& device) {
    return device.isConnected() ? OVDeviceViewColor::Connected : OVDeviceViewColor::Disconnected;
}

bool OVOrvaneCellModel::canIdentify(const OVDeviceInfo& device) {
    return device.isConnected();
}

namespace {

qsizetype syncedCount(const QList<std::shared_ptr<OVSession>>& sessions) {
    return std::count_if(sessions.cbegin(), sessions.cend(), [](const std::shared_ptr<OVSession>& session) {
        return session->syncStatus() == OVSessionSyncStatusSynced;
    });
}

} // namespace

QString OVOrvaneCellModel::syncCountText(const QList<std::shared_ptr<OVSession>>& sessions) {
    return QStringLiteral("%1/%2").arg(syncedCount(sessions)).arg(sessions.size());
}

OVOrvaneCellState OVOrvaneCellModel::syncState(const QList<std::shared_ptr<OVSession>>& sessions,
                                               bool storing, bool syncing) {
    if (sessions.isEmpty())
        return OVOrvaneCellState::NoSessions;
    if (storing)
        return OVOrvaneCellState::Storing;
    if (syncing)
        return OVOrvaneCellState::InProgress;
    if (syncedCount(sessions) == sessions.size())
        return OVOrvaneCellState::Complete;
    return OVOrvaneCellState::NotSynching;
}

QString OVOrvaneCellModel::syncImage(OVOrvaneCellState state) {
    switch (state) {
    case OVOrvaneCellState::Storing:
        return QStringLiteral("storing");
    case OVOrvaneCellState::InProgress:
        return QStringLiteral("sync_inprogress");
    case OVOrvaneCellState::Complete:
        return QStringLiteral("sync_done");
    case OVOrvaneCellState::NoSessions:
    case OVOrvaneCellState::NotSynching:
        break;
    }
    return QString();
}

OVDeviceViewColor OVOrvaneCellModel::badgeColor(OVOrvaneCellState state) {
    switch (state) {
    case OVOrvaneCellState::Storing:
    case OVOrvaneCellState::InProgress:
        return OVDeviceViewColor::Brand;
    case OVOrvaneCellState::Complete:
        return OVDeviceViewColor::Connected;
    case OVOrvaneCellState::NoSessions:
    case OVOrvaneCellState::NotSynching:
        break;
    }
    return OVDeviceViewColor::Clear;
}

QString OVOrvaneCellModel::recoveryText(double fraction) {
    return QStringLiteral("%1 %2%").arg(tr("Recovering")).arg(fraction * 100.0, 0, 'f', 0);
}

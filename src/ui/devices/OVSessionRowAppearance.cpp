#include "OVSessionRowAppearance.h"

#include "OVHelper.h"
#include "OVSession.h"

namespace {

OVSessionRowAppearance appearance(const QString& text, OVDeviceViewColor background, bool errorShown = false,
                                  std::optional<QString> toolTip = std::nullopt) {
    OVSessionRowAppearance result;
    result.text = text;
    result.background = background;
    result.errorShown = errorShown;
    result.errorToolTip = std::move(toolTip);
    return result;
}

/** The syncing forms put two tabs before the percentage so that it lines up in the column. */
QString syncingText(int percentage) {
    return QStringLiteral("%1 \t\t%2%").arg(OVSessionRowAppearance::tr("Syncing")).arg(percentage);
}

QString progressText(const char* label, int percentage) {
    return QStringLiteral("%1 %2%").arg(OVSessionRowAppearance::tr(label)).arg(percentage);
}

} // namespace

std::optional<OVSessionRowAppearance> OVSessionRowAppearance::forSession(const OVSession& session) {
    using C = OVDeviceViewColor;
    switch (session.syncStatus()) {
    case OVSessionSyncStatusNone:
        return appearance(tr("Status N/A"), C::SessionGray, false, QString());
    case OVSessionSyncStatusReadyToSync:
    case OVSessionSyncStatusSyncCancelled:
    case OVSessionSyncStatusStored:
        return appearance(tr("Ready to Sync"), C::SessionGray, false, QString());
    case OVSessionSyncStatusSyncStarted:
        return appearance(syncingText(0), C::Brand);
    case OVSessionSyncStatusSyncing:
        return appearance(syncingText(session.percentage()), C::Brand);
    case OVSessionSyncStatusSynced:
        return appearance(tr("Synced"), C::Connected);
    case OVSessionSyncStatusSyncFailed:
        return appearance(tr("Failed Syncing"), C::SyncFailed, true, session.syncErrorInformation());
    case OVSessionSyncStatusStoringFailed:
    case OVSessionSyncStatusStoringCancelled:
        if (session.crcCorruption())
            return appearance(tr("Corrupted"), C::SyncFailed, true,
                              tr("Sorry the session is corrupted and cannot by synced."));
        return appearance(tr("Waiting for Storing"), C::SessionGray);
    case OVSessionSyncStatusStoring:
        return appearance(progressText(QT_TRANSLATE_NOOP("OVSessionRowAppearance", "Storing Locally"),
                                       session.percentage()),
                          C::Brand);
    case OVSessionSyncStatusCrcChecking:
        return appearance(
            progressText(QT_TRANSLATE_NOOP("OVSessionRowAppearance", "CRC Checking"), session.percentage()),
            C::Brand);
    default:
        return std::nullopt;
    }
}

QString OVSessionRowAppearance::durationText(const OVSession& session) {
    return OVHelper::formattedStringForDuration(session.end().timeIntervalSince(session.start()));
}

OVSessionRefresh OVSessionRowAppearance::refreshFor(int syncStatus) {
    switch (syncStatus) {
    case OVSessionSyncStatusStoringFailed:
        return OVSessionRefresh::CountsAndTable;
    case OVSessionSyncStatusSyncStarted:
        return OVSessionRefresh::Nothing;
    case OVSessionSyncStatusStoring:
        return OVSessionRefresh::RowOnly;
    default:
        return OVSessionRefresh::CountsAndRow;
    }
}

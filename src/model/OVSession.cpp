#include "OVSession.h"

#include "OVLogFormat.h"
#include "OVPage.h"

#include <cmath>

bool OVSession::canSync() const {
    return locked([this] {
        const bool waiting = m_syncStatus == OVSessionSyncStatusReadyToSync ||
                             m_syncStatus == OVSessionSyncStatusSyncFailed ||
                             m_syncStatus == OVSessionSyncStatusSyncCancelled;
        return waiting && !m_alreadySynced;
    });
}

bool OVSession::isInSyncFinalState() const {
    const int status = syncStatus();
    return status == OVSessionSyncStatusSynced || status == OVSessionSyncStatusSyncFailed ||
           status == OVSessionSyncStatusSyncCancelled;
}

QString OVSession::description() const {
    return locked([this] {
        return OVLogFormat::format("SD:%@, ED:%@, SP:%@, EP:%@, User:%@", m_start, m_end, m_startPage,
                                   m_endPage, m_userId);
    });
}

qint64 OVSession::expectedDataSize() const {
    return static_cast<qint64>(pageCount()) * OVPage::kPageSize;
}

bool OVSession::startsInSecond(qint64 secondsSince1970) const {
    return static_cast<qint64>(std::floor(start().secondsSince1970())) == secondsSince1970;
}

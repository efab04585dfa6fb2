#include "OVSessionStatusInquirer.h"

#include "OVBackgroundQueue.h"
#include "OVHelper.h"
#include "OVNotificationCenter.h"
#include "OVServiceProtocol.h"
#include "OVSessionFileRepository.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <cmath>

namespace {

// The offset of the next page, read from the "offset=" piece of the server's "next" query. None when
// there is no such piece or it holds no number: paging then ends instead of asking for page one again.
std::optional<qint64> offsetFromNext(const QString& next) {
    const QStringList pieces = next.split(QLatin1Char('&'));
    for (const QString& piece : pieces) {
        if (!piece.contains(QLatin1String("offset=")))
            continue;
        bool ok = false;
        const qint64 offset = piece.split(QLatin1Char('=')).value(1).toLongLong(&ok);
        return ok ? std::optional<qint64>(offset) : std::nullopt;
    }
    return std::nullopt;
}

// The records by their start in whole 1/256-second units, so that a device of thousands of sessions is
// not matched by reading every record for every session. A record without a start matches nothing.
class RecordsByStart {
public:
    explicit RecordsByStart(const QList<OVRecord>& records)
        : m_records(records) {
        for (qsizetype i = 0; i < records.size(); ++i)
            if (records[i].startTimestamp)
                m_byStart[units(*records[i].startTimestamp)].append(i);
    }

    // The first record, in the server's order, that matches the session (OVRecord::matchesSession).
    const OVRecord* findMatch(const OVSession& session) const {
        const auto candidates = m_byStart.constFind(units(session.start()));
        if (candidates == m_byStart.cend())
            return nullptr;
        for (const qsizetype i : *candidates)
            if (m_records[i].matchesSession(session))
                return &m_records[i];
        return nullptr;
    }

private:
    static double units(const OVDate& date) { return std::trunc(OVHelper::convertDateToOrvatimestamp(date)); }

    const QList<OVRecord>& m_records;
    QHash<double, QList<qsizetype>> m_byStart;
};

} // namespace

void OVSessionStatusInquirer::updateSessionsStatusAsync(const OVSessionList& sessions,
                                                        std::function<void()> completionHandler) {
    // The work carries its own inquirer, so the caller may drop this one at once.
    OVServiceProtocol* const svc = service();
    OVBackgroundQueue::shared().addOperationWithBlock([svc, sessions, completionHandler] {
        OVSessionStatusInquirer worker;
        worker.setService(svc);
        worker.updateSessionsStatus(sessions);
        if (completionHandler)
            completionHandler();
    });
}

void OVSessionStatusInquirer::updateSessionsStatus(const OVSessionList& sessions) {
    if (sessions.isEmpty())
        return;
    OVSessionList sorted = sessions;
    OVHelper::sortSessionsDesc(sorted);
    const std::shared_ptr<OVSession>& oldest = sorted.last();
    OVError error;
    const QList<OVRecord> remote = getRemoteSessionsForDevice(
        oldest->deviceSerial(), oldest->start(), sorted.first()->start().addingSeconds(1.0), &error);
    const bool remoteFailed = error.isSet();

    OVSessionFileRepository repository;
    const RecordsByStart records(remote);
    OVSessionList toSave;
    for (const std::shared_ptr<OVSession>& session : sorted)
        applyStatus(session, records.findMatch(*session), remoteFailed, repository, toSave);
    // One flush to disk for the device instead of one per record: a large device has thousands.
    OVError ignored;
    repository.updateSessions(toSave, &ignored);
    for (const std::shared_ptr<OVSession>& session : sorted)
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionSyncStatusChanged, session);
}

QList<OVRecord> OVSessionStatusInquirer::getRemoteSessionsForDevice(const QString& serial, const OVDate& from,
                                                                    const OVDate& to, OVError* error) {
    QList<OVRecord> records;
    OVServiceProtocol* const svc = service();
    if (!svc) {
        OVError::set(error, OVHelper::createError(QStringLiteral("No web API client"), -1,
                                                  QStringLiteral("com.pellwick.service")));
        return records;
    }
    OVRecordFilter filter;
    filter.greatherThanOrEqual_startTimestamp = from;
    filter.lessThanOrEqual_startTimestamp = to;
    filter.exact_device = serial;
    filter.limit = kPageLimit;
    for (;;) {
        OVError pageError;
        const std::optional<OVRecordsPage> page = svc->getRecordsByFilter(filter, &pageError);
        if (pageError.isSet()) {
            OVError::set(error, pageError);
            break;
        }
        if (!page)
            break;
        records += page->second;
        if (!page->first.next)
            break;
        const std::optional<qint64> offset = offsetFromNext(*page->first.next);
        // A "next" that does not move forward would ask for the same page for ever.
        if (!offset || *offset <= filter.offset.value_or(0))
            break;
        filter.offset = offset;
    }
    return records;
}

void OVSessionStatusInquirer::applyStatus(const std::shared_ptr<OVSession>& session, const OVRecord* match,
                                          bool remoteFailed, OVSessionRepositoryProtocol& repository,
                                          OVSessionList& toSave) {
    OVError dataError;
    const bool complete = repository.doesSessionHaveAllData(*session, &dataError) && !dataError.isSet();
    if (!match) {
        if (session->alreadySynced())
            session->setSyncStatus(OVSessionSyncStatusSynced);
        else if (remoteFailed)
            session->setSyncStatus(complete ? OVSessionSyncStatusReadyToSync : OVSessionSyncStatusNone);
        else
            session->setSyncStatus(complete ? OVSessionSyncStatusReadyToSync
                                            : OVSessionSyncStatusStoringFailed);
        return;
    }
    if (match->status == OVRecordStatusComplete || match->status == OVRecordStatusDeleted) {
        markSynced(session, toSave);
        return;
    }
    session->setSyncStatus(OVSessionSyncStatusReadyToSync);
    applyIncompleteRecord(session, *match, complete, repository, toSave);
}

void OVSessionStatusInquirer::applyIncompleteRecord(const std::shared_ptr<OVSession>& session,
                                                    const OVRecord& record, bool completeLocally,
                                                    OVSessionRepositoryProtocol& repository,
                                                    OVSessionList& toSave) {
    if (!record.timelineSize) {
        if (!completeLocally)
            session->setSyncStatus(OVSessionSyncStatusStoringFailed);
        return markUnsynced(session, toSave);
    }
    OVError pathError;
    const QString path = repository.getSessionDataFilePath(*session, &pathError);
    const qint64 localSize = pathError.isSet() ? 0 : QFileInfo(path).size();
    const qint64 serverSize = *record.timelineSize;
    // The server holds every byte: either those of the local file, or (the data file already
    // cleaned up) those of a complete download.
    if (localSize == serverSize || (localSize == 0 && session->expectedDataSize() == serverSize))
        markSynced(session, toSave);
    else
        markUnsynced(session, toSave);
}

void OVSessionStatusInquirer::markSynced(const std::shared_ptr<OVSession>& session, OVSessionList& toSave) {
    session->setSyncStatus(OVSessionSyncStatusSynced);
    session->setAlreadySynced(true);
    toSave.append(session);
}

// A session saved as synced whose record still lacks bytes (an upload reported synced while a chunk
// was missing) would never be offered again: the record says what the server holds.
void OVSessionStatusInquirer::markUnsynced(const std::shared_ptr<OVSession>& session, OVSessionList& toSave) {
    if (!session->alreadySynced())
        return;
    session->setAlreadySynced(false);
    toSave.append(session);
}

#pragma once

#include "OVDate.h"
#include "OVDeviceInfo.h"
#include "OVError.h"
#include "OVRecord.h"
#include "OVSession.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

class OVServiceProtocol;
class OVSessionRepositoryProtocol;

/**
 * Reconciles the upload state of one device's sessions with the records the web API holds: one query
 * window from the oldest to the newest session, read 500 records a page, records matched to sessions
 * by device, start and user (OVRecord::matchesSession; the first such record in the server's order). A
 * session whose record is incomplete and lacks bytes loses a saved alreadySynced, so that it is uploaded
 * again. Sets each session's syncStatus (None, ReadyToSync, Synced or StoringFailed), saves alreadySynced for
 * sessions the server has, and posts "OnSessionSyncStatusChanged" once per session, on the calling thread.
 * The records are saved together (OVSessionRepositoryProtocol::updateSessions, one flush to disk for the
 * whole device) before the first notification, so an observer reading the store finds what it is told.
 *
 * Holds no state but its service; nothing is locked, sessions are updated in place.
 */
class OVSessionStatusInquirer {
public:
    static constexpr int kPageLimit = 500;

    /** Not owned; outlives every update started through this inquirer. */
    OVServiceProtocol* service() const { return m_service.load(); }
    void setService(OVServiceProtocol* service) { m_service.store(service); }

    /**
     * updateSessionsStatus on the background queue "com.orvane.bgQueue", then the completion on that
     * thread. The work does not need this inquirer to stay alive; the completion is called in any case.
     */
    void updateSessionsStatusAsync(const OVSessionList& sessions, std::function<void()> completionHandler);
    /** The reconciliation; blocks the calling thread on the network. Never call from the GUI thread. */
    void updateSessionsStatus(const OVSessionList& sessions);
    /** Every record of the device starting within [from, to], all pages; what was read so far on error. */
    QList<OVRecord> getRemoteSessionsForDevice(const QString& serial, const OVDate& from, const OVDate& to,
                                               OVError* error);

private:
    /** Sets the session's status from its record (null: none); one whose record has to be saved is added
     * to toSave. */
    static void applyStatus(const std::shared_ptr<OVSession>& session, const OVRecord* match,
                            bool remoteFailed, OVSessionRepositoryProtocol& repository,
                            OVSessionList& toSave);
    static void applyIncompleteRecord(const std::shared_ptr<OVSession>& session, const OVRecord& record,
                                      bool completeLocally, OVSessionRepositoryProtocol& repository,
                                      OVSessionList& toSave);
    static void markSynced(const std::shared_ptr<OVSession>& session, OVSessionList& toSave);
    static void markUnsynced(const std::shared_ptr<OVSession>& session, OVSessionList& toSave);

    std::atomic<OVServiceProtocol*> m_service{nullptr};
};

#pragma once

#include "OVDeviceInfo.h"
#include "OVError.h"
#include "OVPage.h"
#include "OVSession.h"
#include "OVSessionDataAppender.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

/**
 * The local session store as every other component sees it. Every operation reports failure
 * through its error out-parameter; a boolean result alone does not mean success, so callers test
 * the error. Implementations are stateless: any number of instances, on any threads, see the same
 * sessions.
 */
class OVSessionRepositoryProtocol {
public:
    virtual ~OVSessionRepositoryProtocol() = default;

    /** Writes the session's record, replacing an earlier one atomically; true once the write was tried. */
    virtual bool addSession(const OVSession& session, OVError* error) = 0;
    /** Rewrites the record in one atomic replace, never absent meanwhile (persists crcCorruption,
     * alreadySynced). */
    virtual void updateSession(const OVSession& session, OVError* error) = 0;
    /**
     * updateSession for many sessions, with one flush to disk for all of them: each record is
     * replaced in one atomic rename as by updateSession, and every record written is on disk when it
     * returns. A record that cannot be written keeps its old content and does not stop the others;
     * false, with the first failure, when any could not.
     */
    virtual bool updateSessions(const OVSessionList& sessions, OVError* error) = 0;
    /** Deletes the record only; the data file and any page records stay until the cleaner runs. */
    virtual bool removeSession(const OVSession& session, OVError* error) = 0;
    virtual bool doesSessionExist(const OVSession& session, OVError* error) = 0;
    /**
     * Keeps the page's record as the only one of the session and appends its bytes to the data.
     * The download does not use it (it appends through openSessionDataForAppending); it writes
     * the page-record layout that other readers of the store know.
     */
    virtual bool addData(const OVPage& page, const OVSession& session, OVError* error) = 0;
    /** The session's data file opened for appending, created empty when missing; null with *error. */
    virtual std::unique_ptr<OVSessionDataAppender> openSessionDataForAppending(const OVSession& session,
                                                                               OVError* error) = 0;
    /** Reads the data in order, chunkSize bytes at a time (the last may be shorter), into consumer;
     * false with *error when the data cannot be opened (a missing file included). */
    virtual bool readSessionData(const OVSession& session, qint64 chunkSize,
                                 const std::function<void(const QByteArray&)>& consumer, OVError* error) = 0;
    /** Copies the data beside itself with the ".corrupted" extension, unless such a copy exists. */
    virtual bool keepCorruptedCopy(const OVSession& session, OVError* error) = 0;
    /** The data holds pageCount × 512 bytes. */
    virtual bool doesSessionHaveAllData(const OVSession& session, OVError* error) = 0;
    /** Every readable record in the store, in listing order; absent with the error when a listing fails. */
    virtual std::optional<OVSessionList> getAllSessions(OVError* error) = 0;
    /** startPage + whole pages held − 1; absent while the data is empty or missing. */
    virtual std::optional<quint64> getLastSavedPageNumberForSession(const OVSession& session,
                                                                    OVError* error) = 0;
    /** Deletes the page records and the data file; the record stays. */
    virtual void deleteDataForSession(const OVSession& session, OVError* error) = 0;
    virtual QString getSessionDataFilePath(const OVSession& session, OVError* error) = 0;
    /** Every write is on disk when it returns, so there is nothing to commit; callers still test it. */
    virtual bool commit(OVError* error) = 0;
    /** The store root, created when missing. */
    virtual QString getStoragePath(OVError* error) = 0;
    /** The session's directory, created when missing. */
    virtual QString getDirectoryPathForSession(const OVSession& session, OVError* error) = 0;
};

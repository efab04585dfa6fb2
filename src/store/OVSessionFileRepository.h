#pragma once

#include "OVSessionRepositoryProtocol.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

/**
 * The local session store on disk, under ${XDG_DATA_HOME:-~/.local/share}/OvServices/DATA/PROD:
 *
 *   <root>/<device serial>/<start as "%f">/session.dat         the record (binary property list)
 *                                         /session_data.dat    the pages, 512 bytes each, in order
 *                                         /session_data.dat.corrupted   kept after a failed CRC
 *                                         /PAGES/ov_<page>.dat the last page record written
 *
 * Holds no state and takes no locks: create one wherever needed, on any thread. Records are
 * replaced atomically; the data file is only ever appended to or deleted. Failures are the file
 * system's or the property-list coder's errors, passed back unchanged.
 */
class OVSessionFileRepository : public OVSessionRepositoryProtocol {
public:
    static const QString kSessionFileName;
    static const QString kSessionDataFileName;
    static const QString kPagesDirectoryName;
    static const QString kCorruptedExtension;
    /** A record file larger than this is not a record (they are a few hundred bytes). */
    static constexpr qint64 kMaxRecordFileSize = 1024 * 1024;

    bool addSession(const OVSession& session, OVError* error) override;
    void updateSession(const OVSession& session, OVError* error) override;
    bool updateSessions(const OVSessionList& sessions, OVError* error) override;
    bool removeSession(const OVSession& session, OVError* error) override;
    bool doesSessionExist(const OVSession& session, OVError* error) override;
    bool addData(const OVPage& page, const OVSession& session, OVError* error) override;
    std::unique_ptr<OVSessionDataAppender> openSessionDataForAppending(const OVSession& session,
                                                                       OVError* error) override;
    bool readSessionData(const OVSession& session, qint64 chunkSize,
                         const std::function<void(const QByteArray&)>& consumer, OVError* error) override;
    bool keepCorruptedCopy(const OVSession& session, OVError* error) override;
    bool doesSessionHaveAllData(const OVSession& session, OVError* error) override;
    std::optional<OVSessionList> getAllSessions(OVError* error) override;
    std::optional<quint64> getLastSavedPageNumberForSession(const OVSession& session,
                                                            OVError* error) override;
    void deleteDataForSession(const OVSession& session, OVError* error) override;
    QString getSessionDataFilePath(const OVSession& session, OVError* error) override;
    bool commit(OVError* error) override;
    QString getStoragePath(OVError* error) override;
    QString getDirectoryPathForSession(const OVSession& session, OVError* error) override;

    /** "session.dat" in the session's directory (directories created). */
    QString getSessionFilePath(const OVSession& session, OVError* error);
    /** "PAGES" in the session's directory, created when missing. */
    QString getDirectoryPathForSessionPages(const OVSession& session, OVError* error);
    /** "PAGES/ov_<page number>.dat" (directories created). */
    QString getPageFilePath(const OVPage& page, const OVSession& session, OVError* error);
    /** Names in "PAGES" that begin with "ov_", in listing order. */
    std::optional<QStringList> getPagesFileNamesForSession(const OVSession& session, OVError* error);
    /** The session directory's name: the start as seconds since 1970 printed with "%f". */
    static QString directoryNameForStart(const OVDate& start);

    /** The record of a session as a binary property list; empty with the error on failure. */
    static QByteArray convertSessionToData(const OVSession& session, OVError* error);
    /** A session from its record; null with the error (and a log line) when it does not decode. */
    static std::shared_ptr<OVSession> convertToSession(const QByteArray& data, OVError* error);
    static QByteArray convertPageToData(const OVPage& page, OVError* error);
    static std::optional<OVPage> convertToPage(const QByteArray& data, OVError* error);

private:
    /** The session of a record file; null (logged) when it cannot be read or decoded. */
    static std::shared_ptr<OVSession> readRecord(const QString& recordPath);
    /** Keeps an undecodable record as "session.dat.corrupted" beside it; the error says why it could not. */
    static bool quarantineRecord(const QString& recordPath, OVError* error);
};

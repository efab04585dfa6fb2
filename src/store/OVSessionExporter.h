#pragma once

#include "OVError.h"
#include "OVSession.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

class OVSessionRepositoryProtocol;

/**
 * Writes stored sessions out as BagIt bags (version 1.0) that any BagIt tool can check and any
 * program can read without this one (docs/export.md):
 *
 *   <out>/<serial>_<start>/bagit.txt, bag-info.txt, manifest-sha256.txt, tagmanifest-sha256.txt
 *                         /data/session_data.dat   the pages as the device recorded them
 *                         /data/session.json       every field of the session's record
 *   <out>/sessions.csv                              one row per bag in <out>
 *
 * Only reads the store. A bag is built in a hidden directory beside its final name and renamed
 * when complete, so an interrupted export leaves no half bag under a bag's name. The data is
 * copied a chunk at a time: memory does not grow with a session's size. Runs on the calling
 * thread; make one per export.
 */
class OVSessionExporter {
public:
    static const QString kIndexFileName;
    static const QString kPayloadDataName;
    static const QString kPayloadRecordName;

    /** Which stored sessions to export: all, one device's, or one session by its start. */
    struct Selection {
        QString serial;
        /** Whole seconds since 1970 of the session's start (the status report's startSeconds). */
        std::optional<qint64> startSeconds;
    };

    /** What one export did: the bags written, and the sessions left out with the reason. */
    struct Report {
        QStringList bags;
        QStringList skipped;
    };

    /** repository is not owned and must outlive the exporter. */
    explicit OVSessionExporter(OVSessionRepositoryProtocol* repository);

    /** Exports every selected session that has all its data into outDirectory (created). */
    std::optional<Report> exportSessions(const QString& outDirectory, const Selection& selection,
                                         OVError* error);

    /** The bag of one session at bagPath (which must not exist); false with the error otherwise. */
    bool exportSession(const OVSession& session, const QString& bagPath, OVError* error);

    /** The bag directory's name: the serial and the store's name for the start. */
    static QString bagName(const OVSession& session);
    /** The fields of data/session.json that come from the record (the data's size and checksum follow). */
    static QJsonObject sessionRecord(const OVSession& session);

private:
    bool copyData(const QString& source, qint64 size, const QString& destination, QByteArray* sha256,
                  OVError* error);
    bool writeIndex(const QString& outDirectory, OVError* error);

    OVSessionRepositoryProtocol* m_repository;
};

#pragma once

#include "OVDate.h"
#include "OVRecordStatus.h"
#include "OVUser.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class OVSession;

/** The web API's record of one uploaded session. A plain value: copy it freely between threads. */
class OVRecord {
public:
    /** A record describing a stored session; the fields the server fills in stay absent. */
    static OVRecord buildRecordFromSession(const OVSession& session);

    /** The session's 64-byte descriptor block. */
    std::optional<QByteArray> data;
    std::optional<QString> dev_id;
    /** "/api/device/<serial>/". */
    std::optional<QString> device;
    std::optional<OVDate> endTimestamp;
    std::optional<QString> firmware_rev;
    std::optional<qint64> identifier;
    std::optional<qint64> n_uploaded_timelines;
    std::optional<qint64> npages;
    /** Set by the server when the record is created. */
    std::optional<QString> resource_uri;
    std::optional<qint64> soft_protocole;
    std::optional<QString> soft_uid;
    std::optional<OVDate> startTimestamp;
    OVRecordStatus status = OVRecordStatusComplete;
    /** "/api/user/<id>/". */
    std::optional<QString> userUri;
    std::optional<OVUser> user;
    /** Bytes of timeline data the server holds, reported for incomplete records only. */
    std::optional<qint64> timelineSize;
    /** The timeline size the record's chunks declared; incomplete records only. */
    std::optional<qint64> timelineTotal;
    /**
     * The byte ranges of the timeline the server holds, first and last byte inclusive; incomplete
     * records only. Absent when the server does not say: then nothing is known to be held.
     */
    std::optional<QList<QPair<qint64, qint64>>> timelineRanges;

    /**
     * Whether this is the record of the session: the same device, the same user and the same start in
     * whole 1/256-second units (as the server keeps it and the queries write it). A record missing
     * any of the three is nobody's.
     */
    bool matchesSession(const OVSession& session) const;

    /** "uri:%@, device:%@, start:%@, status:%i". */
    QString description() const;
};

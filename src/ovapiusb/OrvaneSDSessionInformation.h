#pragma once

#include "OVDate.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

/**
 * One entry of a device's session table, as the session list reports it. Immutable once built and
 * shared as std::shared_ptr<const OrvaneSDSessionInformation>; it is what OrvaneSessionVerification
 * checks page data against.
 */
class OrvaneSDSessionInformation {
public:
    /** The session's information block as the device recorded it. */
    class SessionInformation {
    public:
        static constexpr int kStructureSize = 64;

        quint32 userUID = 0;
        QString applicationUID;
        /** Firmware that recorded the session: byte 0 major, byte 1 minor, byte 2 patch. */
        quint32 firmware = 0;
        /** 64 bytes: 8-17 software id text, 20-23 protocol number (little endian), 28-59 device id text. */
        QByteArray structure;

        /** Bytes 8-17 of the structure as UTF-8 text. */
        QString softwareId() const;
        /** The unsigned little-endian value at bytes 20-23 of the structure. */
        quint32 protocolNumber() const;
        /** Bytes 28-59 of the structure as UTF-8 text. */
        QString deviceId() const;
    };

    bool isCorrupted = false;
    /** Why the device marks the session corrupted; 0 when the data cannot be used at all. */
    qint32 corruptionStatus = 0;
    quint32 startPageAddress = 0;
    quint32 endPageAddress = 0;
    quint32 pageCount = 0;
    OVDate startTime;
    OVDate endTime;
    SessionInformation sessionInformation;
    /** CRC-32 (zlib's) of the session's pages in order; what the verification compares with. */
    quint32 dataCRC = 0;

    /** "start:%@, end:%@, pages:%@-%@ (%@), user:%@, corrupted:%@". */
    QString description() const;

    /** The record in the session-list answer of the device protocol. */
    QByteArray encode() const;
    /** A session-list answer: a 32-bit count and that many records. */
    static QByteArray encodeList(const QList<std::shared_ptr<const OrvaneSDSessionInformation>>& sessions);
    static std::optional<QList<std::shared_ptr<const OrvaneSDSessionInformation>>>
    decodeList(const QByteArray& payload);
};

/** The response of a session-list request. */
using OrvaneSessionList = QList<std::shared_ptr<const OrvaneSDSessionInformation>>;

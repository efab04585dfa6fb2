#pragma once

#include "OrvaneSDSessionInformation.h"
#include "OrvaneTransport.h"
#include "SimFault.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

/** One entry of an emulated device's session table; its pages are generated from `seed`. */
struct SimVirtualSession {
    /** Device time (1/256 s since 1970). */
    quint64 start = 0;
    quint64 end = 0;
    quint32 startPage = 0;
    /** Last page, inclusive; equal to startPage for an empty record (pageCount 0). */
    quint32 endPage = 0;
    quint32 pageCount = 0;
    quint32 userUID = 0;
    QString applicationUID;
    /** Byte 0 major, 1 minor, 2 patch. */
    quint32 firmware = 0;
    bool corrupted = false;
    qint32 corruptionStatus = 0;
    /** The 64-byte information block. */
    QByteArray structure;
    quint64 seed = 0;
    quint32 crc = 0;

    bool holdsPage(quint32 address) const {
        return pageCount > 0 && address >= startPage && address <= endPage;
    }
    std::shared_ptr<const OrvaneSDSessionInformation> toInformation() const;
    QJsonObject toJson() const;
    static std::optional<SimVirtualSession> fromJson(const QJsonObject& json);
};

/**
 * The state of one emulated Orvane device: identity, battery, clock, default user, USB location,
 * mode, and a flash of 512-byte pages holding its sessions. A plain value; SimDeviceHub guards it.
 */
class SimVirtualDevice {
public:
    static constexpr quint32 kNoUser = 0xFFFFFFFFu;
    /** Pages before this one hold the device's own tables; recordings start here. */
    static constexpr quint32 kFirstSessionPage = 16;
    static constexpr quint32 kDefaultFlashPages = 1u << 21;
    static constexpr int kPageSize = 512;
    static constexpr quint32 kProtocolNumber = 3;

    QString serial;
    QString model = QStringLiteral("OVR-1");
    QString hwRevision = QStringLiteral("2.1");
    QString fwRevision = QStringLiteral("1.0.9");
    int battery = 87;
    /** Device clock minus the computer's clock, in device time units. */
    qint64 clockOffset = 0;
    quint32 defaultUser = kNoUser;
    quint32 location = 0;
    bool recovery = false;
    /** Attached (or restarting to be attached again). */
    bool plugged = false;
    quint32 identifyCount = 0;
    quint32 flashPages = kDefaultFlashPages;
    quint64 seed = 0;
    /** Sessions ever recorded, numbering the next one (its seed and information block). */
    quint32 sessionsRecorded = 0;
    QList<SimVirtualSession> sessions;
    /** Injected failures; not saved. */
    QList<SimFault> faults;

    /** Records a session of pageCount pages (0: an empty record) at the next free page. */
    SimVirtualSession& addSession(quint32 pageCount, quint32 userUID, quint64 start,
                                  const QString& applicationUID);
    quint32 nextFreePage() const;
    /** The page at a flash address: session data, or erased flash (0xFF); nothing beyond the flash. */
    std::optional<QByteArray> readPage(quint32 address) const;
    /** The device clock now, in device time. */
    quint64 clock() const;
    void setClock(quint64 deviceTime);
    OrvaneDeviceDescriptor descriptor(quint32 handle) const;
    /** The firmware field of a "major.minor.patch" text. */
    static std::optional<quint32> firmwareFromText(const QString& text);
    static QString firmwareText(quint32 firmware);

    /** Everything but the faults, as saved in the state directory. */
    QJsonObject toJson() const;
    static std::optional<SimVirtualDevice> fromJson(const QJsonObject& json, QString* error);
    /** The line of `list`. */
    QJsonObject summaryJson(bool attached) const;
};

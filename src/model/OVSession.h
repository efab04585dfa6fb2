#pragma once

#include "OVDate.h"
#include "OVSessionSyncStatus.h"
#include "OVSharedRecord.h"

#include <QByteArray>
#include <QString>

#include <memory>

class OrvaneSDSessionInformation;

/**
 * One recorded session, as the device lists it and as the local store holds it. Identified by
 * (deviceSerial, start). Shared by reference between threads; every accessor is thread-safe.
 */
class OVSession : public OVSharedRecord {
public:
    OVDate start() const { return read(m_start); }
    /** Whether the session starts in that whole second since 1970 (as status and commands name it). */
    bool startsInSecond(qint64 secondsSince1970) const;
    void setStart(const OVDate& v) { write(m_start, v); }
    OVDate end() const { return read(m_end); }
    void setEnd(const OVDate& v) { write(m_end, v); }
    quint64 startPage() const { return read(m_startPage); }
    void setStartPage(quint64 v) { write(m_startPage, v); }
    quint64 endPage() const { return read(m_endPage); }
    void setEndPage(quint64 v) { write(m_endPage, v); }
    quint64 userId() const { return read(m_userId); }
    void setUserId(quint64 v) { write(m_userId, v); }
    QString applicationId() const { return read(m_applicationId); }
    void setApplicationId(const QString& v) { write(m_applicationId, v); }
    bool corrupted() const { return read(m_corrupted); }
    void setCorrupted(bool v) { write(m_corrupted, v); }
    quint64 pageCount() const { return read(m_pageCount); }
    void setPageCount(quint64 v) { write(m_pageCount, v); }
    QByteArray data() const { return read(m_data); }
    void setData(const QByteArray& v) { write(m_data, v); }
    quint64 softwareProtocol() const { return read(m_softwareProtocol); }
    void setSoftwareProtocol(quint64 v) { write(m_softwareProtocol, v); }
    QString softwareUid() const { return read(m_softwareUid); }
    void setSoftwareUid(const QString& v) { write(m_softwareUid, v); }
    QString deviceUid() const { return read(m_deviceUid); }
    void setDeviceUid(const QString& v) { write(m_deviceUid, v); }
    QString deviceSerial() const { return read(m_deviceSerial); }
    void setDeviceSerial(const QString& v) { write(m_deviceSerial, v); }
    QString firmwareRev() const { return read(m_firmwareRev); }
    void setFirmwareRev(const QString& v) { write(m_firmwareRev, v); }
    bool crcCorruption() const { return read(m_crcCorruption); }
    void setCrcCorruption(bool v) { write(m_crcCorruption, v); }
    bool alreadySynced() const { return read(m_alreadySynced); }
    void setAlreadySynced(bool v) { write(m_alreadySynced, v); }
    int percentage() const { return read(m_percentage); }
    /**
     * Bytes the running upload has moved either way (chunk bodies sent, answers received), counted as
     * they move; a stall is judged on it, a percentage being too coarse for a slow link. Never goes
     * back during one upload.
     */
    qint64 transferredBytes() const { return read(m_transferredBytes); }
    void setTransferredBytes(qint64 v) { write(m_transferredBytes, v); }
    void addTransferredBytes(qint64 v) {
        locked([&] { m_transferredBytes += v; });
    }
    void setPercentage(int v) { write(m_percentage, v); }
    int syncStatus() const { return read(m_syncStatus); }
    void setSyncStatus(int v) { write(m_syncStatus, v); }
    QString syncErrorInformation() const { return read(m_syncErrorInformation); }
    void setSyncErrorInformation(const QString& v) { write(m_syncErrorInformation, v); }
    int syncErrorCode() const { return read(m_syncErrorCode); }
    void setSyncErrorCode(int v) { write(m_syncErrorCode, v); }
    /** The domain of the failed upload's error: its code alone does not say what it means. */
    QString syncErrorDomain() const { return read(m_syncErrorDomain); }
    void setSyncErrorDomain(const QString& v) { write(m_syncErrorDomain, v); }
    /** The device library's record of the session, present only while the device has listed it. */
    std::shared_ptr<const OrvaneSDSessionInformation> ovSession() const { return read(m_ovSession); }
    void setOvSession(std::shared_ptr<const OrvaneSDSessionInformation> v) {
        write(m_ovSession, std::move(v));
    }

    /** Status 1, 5 or 6 and not yet uploaded. */
    bool canSync() const;
    /** Status 4, 5 or 6. */
    bool isInSyncFinalState() const;
    /** "SD:%@, ED:%@, SP:%@, EP:%@, User:%@". */
    QString description() const;
    /** pageCount × 512: the size of the complete local data. */
    qint64 expectedDataSize() const;

private:
    OVDate m_start;
    OVDate m_end;
    quint64 m_startPage = 0;
    quint64 m_endPage = 0;
    quint64 m_userId = 0;
    QString m_applicationId;
    bool m_corrupted = false;
    quint64 m_pageCount = 0;
    QByteArray m_data;
    quint64 m_softwareProtocol = 0;
    QString m_softwareUid;
    QString m_deviceUid;
    QString m_deviceSerial;
    QString m_firmwareRev;
    bool m_crcCorruption = false;
    bool m_alreadySynced = false;
    int m_percentage = 0;
    qint64 m_transferredBytes = 0;
    int m_syncStatus = OVSessionSyncStatusNone;
    QString m_syncErrorInformation;
    int m_syncErrorCode = 0;
    QString m_syncErrorDomain;
    std::shared_ptr<const OrvaneSDSessionInformation> m_ovSession;
};

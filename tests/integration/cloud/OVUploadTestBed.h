#pragma once

// What the upload tests share: a private home, a signed-in web API client against a real ovcloud,
// stored sessions with data files, and the server's view of their records.
#include "OVSessionFileRepository.h"
#include "SignedInService.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

class OVUploadTestBed : public SignedInService {
public:
    static QString uniqueSerial() {
        return QStringLiteral("OVUP%1").arg(QRandomGenerator::global()->generate64(), 16, 16,
                                            QLatin1Char('0'));
    }

    /** Bytes that differ everywhere, so a misplaced chunk shows. */
    static QByteArray pattern(qint64 size, quint32 seed) {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), int(size / 4));
        return bytes;
    }

    /** A session of athlete 101 in the local store, ready to sync, whose data file holds these bytes. */
    std::shared_ptr<OVSession> storedSession(const QString& serial, double startSeconds,
                                             const QByteArray& data) {
        auto session = std::make_shared<OVSession>();
        session->setDeviceSerial(serial);
        session->setStart(OVDate::fromSecondsSince1970(startSeconds));
        session->setEnd(OVDate::fromSecondsSince1970(startSeconds + 600));
        session->setUserId(101);
        session->setPageCount(quint64(data.size() / 512));
        session->setEndPage(session->pageCount() ? session->pageCount() - 1 : 0);
        session->setData(QByteArray(64, '\x5a'));
        session->setSyncStatus(OVSessionSyncStatusReadyToSync);
        OVError error;
        m_repo.addSession(*session, &error);
        QFile file(dataFilePath(*session));
        if (!data.isEmpty() && file.open(QIODevice::WriteOnly))
            file.write(data);
        return session;
    }

    QString dataFilePath(const OVSession& session) {
        OVError error;
        return m_repo.getSessionDataFilePath(session, &error);
    }

    /** The server's records of the session (deleted ones included), oldest first. */
    QList<OVRecord> records(const OVSession& session) {
        OVRecordFilter filter;
        filter.exact_device = session.deviceSerial();
        filter.exact_startTimestamp = session.start();
        OVError error;
        const auto page = service().getRecordsByFilter(filter, &error);
        return page ? page->second : QList<OVRecord>();
    }

    void deleteRecord(const OVRecord& record) {
        OVError error;
        service().sendSync(
            service().buildRequest(QStringLiteral("record/") + recordId(record), QStringLiteral("DELETE")),
            &error);
    }

    /** The timeline bytes the server holds for a record. */
    QByteArray timeline(const OVRecord& record) {
        OVError error;
        auto request = service().buildRequest(QStringLiteral("sync/timeline/") + recordId(record),
                                              QStringLiteral("GET"));
        request.setMaxAnswerBytes(64 * 1024 * 1024); // a whole session, not a JSON answer
        return service().sendSync(request, &error).value_or(QByteArray());
    }

private:
    static QString recordId(const OVRecord& record) {
        return OVService::getResourceIdFromUri(record.resource_uri.value_or(QString()));
    }

    OVSessionFileRepository m_repo;
};

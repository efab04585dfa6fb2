#pragma once

// What the upload tests share: a private home, a signed-in web API client against a real ovcloud,
// stored sessions with data files, and the server's view of their records.
#include "OVCloudServer.h"
#include "OVCredentialManager.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "OVSessionFileRepository.h"
#include "SUUpdater.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class OVUploadTestBed {
public:
    /** Starts the server in the bed's home and signs the demo coach in against it. */
    bool startServer(OVCloudServer& server, QString* error) {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
        if (!m_home.isValid() || !server.start(error))
            return false;
        useServer(server);
        const QJsonObject demo = OVCloudServer::demoAccount();
        OVUser coach;
        coach.identifier = demo.value(QLatin1String("user_id")).toInteger();
        coach.username = demo.value(QLatin1String("username")).toString();
        m_credentials.saveCredential(coach, demo.value(QLatin1String("password")).toString());
        return true;
    }

    static void useServer(const OVCloudServer& server) {
        qputenv("OV_SERVER_URL", server.apiUrl().toUtf8());
        qputenv("OV_NETWORK_TIME_URL", server.rootUrl().toUtf8());
    }

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

    /** The session as the store holds it now. */
    std::shared_ptr<OVSession> storedCopy(const OVSession& session) {
        OVError error;
        QFile file(m_repo.getSessionFilePath(session, &error));
        return file.open(QIODevice::ReadOnly)
                   ? OVSessionFileRepository::convertToSession(file.readAll(), &error)
                   : std::make_shared<OVSession>();
    }

    /** The server's records of the session (deleted ones included), oldest first. */
    QList<OVRecord> records(const OVSession& session) {
        OVRecordFilter filter;
        filter.exact_device = session.deviceSerial();
        filter.exact_startTimestamp = session.start();
        OVError error;
        const auto page = m_service.getRecordsByFilter(filter, &error);
        return page ? page->second : QList<OVRecord>();
    }

    void deleteRecord(const OVRecord& record) {
        OVError error;
        m_service.sendSync(
            m_service.buildRequest(QStringLiteral("record/") + recordId(record), QStringLiteral("DELETE")),
            &error);
    }

    /** The timeline bytes the server holds for a record. */
    QByteArray timeline(const OVRecord& record) {
        OVError error;
        const auto request = m_service.buildRequest(QStringLiteral("sync/timeline/") + recordId(record),
                                                    QStringLiteral("GET"));
        return m_service.sendSync(request, &error).value_or(QByteArray());
    }

    OVService& service() { return m_service; }

private:
    static QString recordId(const OVRecord& record) {
        return OVService::getResourceIdFromUri(record.resource_uri.value_or(QString()));
    }

    QTemporaryDir m_home;
    OVCredentialManager m_credentials;
    SUUpdater m_updater;
    OVPreferencesManager m_preferences{OVLoginItem(QString(), QString()), &m_updater};
    OVService m_service{&m_credentials, &m_preferences};
    OVSessionFileRepository m_repo;
};

#pragma once

#include "OVCloudServer.h"
#include "OVService.h"
#include "OVSessionFileRepository.h"
#include "ServiceProbe.h"
#include "SignedInService.h"
#include "StoreTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

/**
 * A web API client signed in as the demo coach on a real ovcloud server, with a private home (and so
 * a private local store). Use it from one thread; the service itself may be called from any.
 */
class CloudRig {
public:
    bool start(QString* error) { return m_client.start(m_server, error); }

    /** Adds records straight to the server's database (see seed_records.py for the keys). */
    bool seedRecords(const QJsonArray& rows) {
        QProcess python;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OVCLOUD_STATE_DIR"), m_server.stateDir());
        python.setProcessEnvironment(env);
        python.setWorkingDirectory(QStringLiteral(OV_SOURCE_DIR "/server"));
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(OV_SOURCE_DIR "/tests/integration/reconcile/seed_records.py")});
        python.write(QJsonDocument(rows).toJson(QJsonDocument::Compact));
        python.closeWriteChannel();
        if (!python.waitForFinished(120000) || python.exitCode() != 0) {
            qWarning("seeding failed: %s", python.readAllStandardError().constData());
            return false;
        }
        return true;
    }

    static QJsonObject recordRow(const QString& serial, double startSeconds, int user, const QString& status,
                                 qint64 timelineSize = 0) {
        return {{QStringLiteral("device"), serial},
                {QStringLiteral("user"), user},
                {QStringLiteral("start"), qint64(startSeconds * 256)},
                {QStringLiteral("status"), status},
                {QStringLiteral("timeline_size"), timelineSize}};
    }

    OVService& service() { return m_client.service(); }
    /** The server, for benches that set its environment before start. */
    OVCloudServer& server() { return m_server; }

private:
    OVCloudServer m_server;
    SignedInService m_client;
};

/** The start times of sessions, in seconds since 1970. */
inline QList<double> startsOf(const OVSessionList& sessions) {
    QList<double> starts;
    for (const auto& session : sessions)
        starts << session->start().secondsSince1970();
    return starts;
}

/** A session of a device as the store keeps it, with `held` bytes of its data on disk (-1: no record). */
inline std::shared_ptr<OVSession> storedSession(const QString& serial, double startSeconds, quint64 userId,
                                                quint64 pageCount, qint64 held) {
    auto session = makeStoreSession(serial, startSeconds, 1000, pageCount);
    session->setUserId(userId);
    OVSessionFileRepository repository;
    if (held >= 0 && repository.addSession(*session, nullptr))
        writeFileBytes(repository.getSessionDataFilePath(*session, nullptr), QByteArray(held, '\x42'));
    return session;
}

#pragma once

#include "OVCloudServer.h"
#include "OVService.h"
#include "OVSessionFileRepository.h"
#include "SignedInService.h"
#include "StoreTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <mutex>

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

/**
 * A web API client in front of a real one: counts the calls, keeps the record queries, and can fail
 * a call or drop the offset from a page's "next" link. Thread-safe.
 */
class ServiceProbe : public OVServiceProtocol {
public:
    explicit ServiceProbe(OVServiceProtocol& real)
        : m_real(real) {}

    /** The record query with this number (from 1) fails; 0: none does. */
    std::atomic<int> failRecordQuery{0};
    /** The user load fails with this error code; 0: it does not. */
    std::atomic<int> failUsersWithCode{0};
    std::atomic<bool> dropOffsetFromNext{false};
    /** Loads of the users and of the teams so far. */
    std::atomic<int> userLoads{0}, teamLoads{0};

    QList<OVRecordFilter> recordQueries() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_recordQueries;
    }

    void authenticate(const QString& username, const QString& password,
                      AuthenticateCompletion completionHandler) override {
        m_real.authenticate(username, password, std::move(completionHandler));
    }
    std::optional<QList<OVTeam>> getTeams(OVError* error) override {
        ++teamLoads;
        return m_real.getTeams(error);
    }
    std::optional<QList<OVUser>> getAtheletes(OVError* error) override {
        ++userLoads;
        if (const int code = failUsersWithCode.load()) {
            OVError::set(error,
                         OVError(QStringLiteral("com.pellwick.service"), code, QStringLiteral("refused")));
            return std::nullopt;
        }
        return m_real.getAtheletes(error);
    }
    std::optional<OVRecordsPage> getRecordsByFilter(const OVRecordFilter& filter, OVError* error) override {
        int number = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_recordQueries.append(filter);
            number = int(m_recordQueries.size());
        }
        if (number == failRecordQuery.load()) {
            OVError::set(error,
                         OVError(QStringLiteral("com.pellwick.service"), 500, QStringLiteral("failed")));
            return std::nullopt;
        }
        std::optional<OVRecordsPage> page = m_real.getRecordsByFilter(filter, error);
        if (page && page->first.next && dropOffsetFromNext.load())
            page->first.next = page->first.next->section(QLatin1String("&offset="), 0, 0);
        return page;
    }
    bool createRecord(OVRecord& record, OVError* error) override {
        return m_real.createRecord(record, error);
    }
    std::optional<OVURLRequest> createUploadRecordRequest(const OVRecord& record,
                                                          const QString& recordDataFile,
                                                          quint64 totalFileSize, OVError* error) override {
        return m_real.createUploadRecordRequest(record, recordDataFile, totalFileSize, error);
    }

private:
    OVServiceProtocol& m_real;
    mutable std::mutex m_mutex;
    QList<OVRecordFilter> m_recordQueries;
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

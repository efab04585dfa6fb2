// Reconciling one device's sessions with the records a real ovcloud server holds for them: the
// requests made (record pages and network-time queries, counted in the server's access log) and the
// wall time per session, against paging through the same records alone in the same run. Then the
// saving of the same records alone, one atomic write (and flush) per record as the reconcile used to,
// against the batch it uses now (one flush for all), with their ratio.
//
// usage: bench_reconcile [SESSIONS]   (default 5000; exits 1 when a page is requested per session or a
//                                      batched save fails)
#include "CloudRig.h"
#include "OVSessionStatusInquirer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString kSerial = QStringLiteral("OVBENCH00000001");
constexpr double kFirstStart = 1700000000.0;

struct RequestCount {
    int recordPages = 0;
    int networkTime = 0;
};

RequestCount countRequests(const QString& accessLog) {
    QFile file(accessLog);
    RequestCount count;
    if (!file.open(QIODevice::ReadOnly))
        return count;
    for (const QByteArray& line : file.readAll().split('\n')) {
        count.recordPages += line.contains("\"GET /api/record/") ? 1 : 0;
        count.networkTime += line.contains("\"HEAD / ") ? 1 : 0;
    }
    return count;
}

double elapsedMs(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int sessionCount = argc > 1 ? std::max(1, atoi(argv[1])) : 5000;
    QTemporaryDir logDir;
    const QString accessLog = logDir.filePath(QStringLiteral("access.log"));
    CloudRig cloud;
    cloud.server().setEnvironment(QStringLiteral("OVCLOUD_ACCESS_LOG"), accessLog);
    QString error;
    if (!cloud.start(&error)) {
        std::fprintf(stderr, "ovcloud did not start: %s\n", qPrintable(error));
        return 1;
    }
    QJsonArray rows;
    OVSessionList sessions;
    for (int i = 0; i < sessionCount; ++i) {
        rows.append(CloudRig::recordRow(kSerial, kFirstStart + i * 600, 101, QStringLiteral("complete")));
        sessions.append(storedSession(kSerial, kFirstStart + i * 600, 101, 4, -1));
    }
    if (!cloud.seedRecords(rows))
        return 1;

    OVSessionStatusInquirer inquirer;
    inquirer.setService(&cloud.service());
    QElapsedTimer timer;
    timer.start();
    const QList<OVRecord> paged = inquirer.getRemoteSessionsForDevice(
        kSerial, sessions.first()->start(), sessions.last()->start().addingSeconds(1), nullptr);
    const double pagingMs = elapsedMs(timer);
    const RequestCount before = countRequests(accessLog);

    timer.restart();
    inquirer.updateSessionsStatus(sessions);
    const double reconcileMs = elapsedMs(timer);
    const RequestCount after = countRequests(accessLog);

    int synced = 0;
    for (const auto& session : sessions)
        synced += session->syncStatus() == OVSessionSyncStatusSynced ? 1 : 0;
    const int expectedPages =
        (sessionCount + OVSessionStatusInquirer::kPageLimit - 1) / OVSessionStatusInquirer::kPageLimit;
    const int recordPages = after.recordPages - before.recordPages;
    std::printf("reconcile: %d sessions, %lld records paged alone in %.0f ms\n", sessionCount,
                static_cast<long long>(paged.size()), pagingMs);
    std::printf("reconcile: requests %d record pages (expected %d) + %d network-time queries\n", recordPages,
                expectedPages, after.networkTime - before.networkTime);
    std::printf("reconcile: %.0f ms in all, %.3f ms per session, %.2fx the paging alone; %d synced\n",
                reconcileMs, reconcileMs / sessionCount, reconcileMs / pagingMs, synced);

    OVSessionFileRepository repository;
    timer.restart();
    for (const auto& session : sessions)
        repository.updateSession(*session, nullptr);
    const double oneByOneMs = elapsedMs(timer);
    timer.restart();
    const bool batched = repository.updateSessions(sessions, nullptr);
    const double batchMs = elapsedMs(timer);
    std::printf("reconcile: saving the records alone: one by one %.3f ms per session, batched %.3f ms per "
                "session (%.1fx faster)\n",
                oneByOneMs / sessionCount, batchMs / sessionCount, oneByOneMs / batchMs);
    std::printf("reconcile: with one-by-one saves the reconcile would take about %.3f ms per session\n",
                (reconcileMs - batchMs + oneByOneMs) / sessionCount);
    return recordPages == expectedPages && synced == sessionCount && batched ? 0 : 1;
}

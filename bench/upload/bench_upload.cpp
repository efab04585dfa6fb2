// A stored session uploaded to ovcloud by OVSessionSyncher, against curl posting the same chunk files
// with the same headers (signature and Content-Range) to the same server, in the same run; and the
// peak memory of the upload for a small and a large session.
//
// usage: bench_upload [MIB] [ROUNDS]   (default a 100 MiB session, 3 rounds; medians are printed)
#include "OVCloudServer.h"
#include "OVCredentialManager.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "OVSessionFileRepository.h"
#include "OVSessionSyncher.h"
#include "PeakRss.h"
#include "SUUpdater.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

class Bench {
public:
    bool start() {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
        m_server.setEnvironment(QStringLiteral("OVCLOUD_ACCESS_LOG"), QStringLiteral("off"));
        QString error;
        if (!m_server.start(&error)) {
            std::fprintf(stderr, "ovcloud did not start: %s\n", qPrintable(error));
            return false;
        }
        qputenv("OV_SERVER_URL", m_server.apiUrl().toUtf8());
        qputenv("OV_NETWORK_TIME_URL", m_server.rootUrl().toUtf8());
        const QJsonObject demo = OVCloudServer::demoAccount();
        OVUser coach;
        coach.identifier = demo.value(QLatin1String("user_id")).toInteger();
        coach.username = demo.value(QLatin1String("username")).toString();
        m_credentials.saveCredential(coach, demo.value(QLatin1String("password")).toString());
        return true;
    }

    std::shared_ptr<OVSession> storedSession(qint64 bytes) {
        auto session = std::make_shared<OVSession>();
        session->setDeviceSerial(
            QStringLiteral("OVBENCH%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        session->setStart(OVDate::fromSecondsSince1970(1.6e9));
        session->setEnd(OVDate::fromSecondsSince1970(1.6e9 + 3600));
        session->setUserId(101);
        session->setPageCount(quint64(bytes / 512));
        session->setEndPage(session->pageCount() - 1);
        session->setData(QByteArray(64, '\x5a'));
        OVError error;
        m_repo.addSession(*session, &error);
        QFile file(m_repo.getSessionDataFilePath(*session, &error));
        file.open(QIODevice::WriteOnly);
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(7);
        for (qint64 written = 0; written < bytes; written += block.size()) {
            generator.fillRange(reinterpret_cast<quint32*>(block.data()), int(block.size() / 4));
            file.write(block.constData(), std::min<qint64>(block.size(), bytes - written));
        }
        return session;
    }

    /** Seconds for the session syncher to upload the session into a new record; < 0 on failure. */
    double syncherRound(const std::shared_ptr<OVSession>& session) {
        deleteRecords(*session);
        session->setAlreadySynced(false);
        QElapsedTimer timer;
        timer.start();
        auto syncher = std::make_shared<OVSessionSyncher>(&m_service, session);
        syncher->start();
        // The chunk callbacks need the main thread's event loop; poll without spinning, the server
        // shares the processors.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (syncher->isFinished())
                loop.quit();
        });
        poll.start(5);
        loop.exec();
        const double seconds = timer.nsecsElapsed() / 1e9;
        return session->syncStatus() == OVSessionSyncStatusSynced ? seconds : -1;
    }

    /** The same work with curl: a new record, the chunk files, one signed curl POST per chunk. */
    double curlRound(const std::shared_ptr<OVSession>& session) {
        deleteRecords(*session);
        OVError error;
        QElapsedTimer timer;
        timer.start();
        OVRecord record = OVRecord::buildRecordFromSession(*session);
        if (!m_service.createRecord(record, &error))
            return -1;
        const QString dataFile = m_repo.getSessionDataFilePath(*session, &error);
        OVSessionSyncher splitter;
        const QStringList chunks = splitter.splitFile(dataFile, &error);
        const quint64 size = quint64(QFileInfo(dataFile).size());
        for (const QString& chunk : chunks) {
            const auto request = m_service.createUploadRecordRequest(record, chunk, size, &error);
            QStringList arguments{QStringLiteral("-sS"),          QStringLiteral("-o"),
                                  QStringLiteral("/dev/null"),    QStringLiteral("-w"),
                                  QStringLiteral("%{http_code}"), QStringLiteral("-H"),
                                  QStringLiteral("Expect:"),      QStringLiteral("--data-binary"),
                                  QLatin1Char('@') + chunk};
            for (const auto& [name, value] : request->allHTTPHeaderFields())
                arguments << QStringLiteral("-H") << name + QStringLiteral(": ") + value;
            arguments << request->absoluteURLString();
            QProcess curl;
            curl.start(QStringLiteral("curl"), arguments);
            curl.waitForFinished(-1);
            if (curl.readAllStandardOutput() != "200")
                return -1;
            QFile::remove(chunk);
        }
        return timer.nsecsElapsed() / 1e9;
    }

private:
    void deleteRecords(const OVSession& session) {
        OVRecordFilter filter;
        filter.exact_device = session.deviceSerial();
        OVError error;
        const auto page = m_service.getRecordsByFilter(filter, &error);
        for (const OVRecord& record : page ? page->second : QList<OVRecord>())
            m_service.sendSync(
                m_service.buildRequest(QStringLiteral("record/") +
                                           OVService::getResourceIdFromUri(*record.resource_uri),
                                       QStringLiteral("DELETE")),
                &error);
    }

    QTemporaryDir m_home;
    OVCloudServer m_server;
    OVCredentialManager m_credentials;
    SUUpdater m_updater;
    OVPreferencesManager m_preferences{OVLoginItem(QString(), QString()), &m_updater};
    OVService m_service{&m_credentials, &m_preferences};
    OVSessionFileRepository m_repo;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    Bench bench;
    if (!bench.start())
        return 1;
    const auto small = bench.storedSession(10 * 1024 * 1024);
    const auto large = bench.storedSession(mib * 1024 * 1024);

    resetPeakRss();
    const qint64 idle = peakRssKiB();
    bench.syncherRound(small);
    const qint64 smallPeak = peakRssKiB();
    qint64 largePeak = 0;
    std::vector<double> ours, curl;
    for (int round = 0; round < rounds; ++round) {
        resetPeakRss();
        ours.push_back(bench.syncherRound(large));
        largePeak = std::max(largePeak, peakRssKiB());
        curl.push_back(bench.curlRound(large));
        if (ours.back() < 0 || curl.back() < 0) {
            std::fprintf(stderr, "round %d failed\n", round + 1);
            return 1;
        }
    }
    const double oursMedian = median(ours);
    const double curlMedian = median(curl);
    std::printf("session syncher, %lld MiB in 5 MiB chunks: %.2f s (%.1f MiB/s)\n", mib, oursMedian,
                double(mib) / oursMedian);
    std::printf("curl, same chunk files and headers:   %.2f s (%.1f MiB/s)\n", curlMedian,
                double(mib) / curlMedian);
    std::printf("speed ratio (curl time / syncher time): %.2f (goal >= 0.9)\n", curlMedian / oursMedian);
    std::printf(
        "peak RSS of an upload: at rest %lld KiB, 10 MiB session %lld KiB, %lld MiB session %lld KiB\n", idle,
        smallPeak, mib, largePeak);
    return 0;
}

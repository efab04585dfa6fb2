// The session syncher against real ovcloud servers: chunking and reassembly, the server's existing
// records, failures (injected by the server) and cancellation.
#include "OVNotificationCenter.h"
#include "OVSessionSyncher.h"
#include "OVTestCapture.h"
#include "OVUploadTestBed.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <mutex>

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr int kFinalTimeoutMs = 120000;

using Range = QPair<qint64, qint64>;

/** The sync states a session went through, from whatever thread they were posted on. */
class StatusTrail {
public:
    explicit StatusTrail(std::shared_ptr<OVSession> session)
        : m_session(std::move(session)) {
        OVNotificationCenter::defaultCenter().addObserver(
            this, OVNotificationName::OnSessionSyncStatusChanged, [this](const OVNotification& n) {
                if (n.objectAs<OVSession>() != m_session)
                    return;
                std::lock_guard<std::mutex> lock(m_mutex);
                m_states << qMakePair(m_session->syncStatus(), m_session->percentage());
                if (m_onProgress && m_session->syncStatus() == OVSessionSyncStatusSyncing)
                    std::exchange(m_onProgress, nullptr)();
            });
    }
    ~StatusTrail() { OVNotificationCenter::defaultCenter().removeObserver(this); }

    /** Runs once, on the first progress report. */
    void onFirstProgress(std::function<void()> action) { m_onProgress = std::move(action); }
    QList<QPair<int, int>> states() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_states;
    }

private:
    std::shared_ptr<OVSession> m_session;
    mutable std::mutex m_mutex;
    QList<QPair<int, int>> m_states;
    std::function<void()> m_onProgress;
};

QStringList chunkFiles(const QString& dataFilePath) {
    return QFileInfo(dataFilePath).dir().entryList({QStringLiteral("part_*.dat")}, QDir::Files, QDir::Name);
}

/** The byte ranges the server acknowledged, in the order its answers arrived. */
QList<Range> acknowledgedRanges(const QStringList& lines) {
    static const QRegularExpression received(QStringLiteral("\"received\":\\s*\\[(\\d+),\\s*(\\d+)\\]"));
    QList<Range> ranges;
    for (const QString& line : lines) {
        const auto match = received.match(line);
        if (line.contains(QLatin1String("Upload didReceiveData")) && match.hasMatch())
            ranges << Range(match.captured(1).toLongLong(), match.captured(2).toLongLong());
    }
    return ranges;
}

} // namespace

class tst_OVSessionSyncher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_log = OVLogCapture::install();
        QString error;
        QVERIFY2(m_bed.startServer(m_server, &error), qPrintable(error));
    }
    void init() {
        OVUploadTestBed::useServer(m_server);
        m_log->clear();
    }
    void cleanupTestCase() { OVLogCapture::uninstall(); }

    void percentage_data() {
        QTest::addColumn<quint64>("written");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<int>("percentage");
        QTest::newRow("nothing yet") << quint64(0) << quint64(3) << 0;
        QTest::newRow("whole part only") << quint64(2) << quint64(3) << 66;
        QTest::newRow("last byte") << quint64(13107200) << quint64(13107200) << 100;
        QTest::newRow("past the end wraps") << quint64(104) << quint64(100) << 4;
        QTest::newRow("empty file") << quint64(10) << quint64(0) << 0;
    }
    void percentage() {
        QFETCH(quint64, written);
        QFETCH(quint64, total);
        QTEST(OVSessionSyncher::percentageForBytes(written, total), "percentage");
    }

    void uploadsChunksInOrder_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QList<Range>>("ranges");
        QTest::newRow("two and a half chunks")
            << 25 * kMiB / 2
            << QList<Range>{{0, 5 * kMiB - 1}, {5 * kMiB, 10 * kMiB - 1}, {10 * kMiB, 25 * kMiB / 2 - 1}};
        QTest::newRow("exactly one chunk") << 5 * kMiB << QList<Range>{{0, 5 * kMiB - 1}};
        QTest::newRow("one page") << qint64(512) << QList<Range>{{0, 511}};
    }
    void uploadsChunksInOrder() {
        QFETCH(qint64, size);
        QFETCH(QList<Range>, ranges);
        const QByteArray data = OVUploadTestBed::pattern(size, quint32(size));
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.6e9, data);
        StatusTrail trail(session);

        QVERIFY(syncToEnd(session));

        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
        QVERIFY(session->alreadySynced());
        QCOMPARE(acknowledgedRanges(m_log->lines()), ranges);
        const QList<OVRecord> records = m_bed.records(*session);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().status, OVRecordStatusComplete);
        QVERIFY(m_bed.timeline(records.first()) == data);
        QCOMPARE(chunkFiles(m_bed.dataFilePath(*session)), QStringList());
        QCOMPARE(QFileInfo(m_bed.dataFilePath(*session)).size(), size);
        const auto states = trail.states();
        QCOMPARE(states.first().first, int(OVSessionSyncStatusSyncStarted));
        QCOMPARE(states.last().first, int(OVSessionSyncStatusSynced));
        QCOMPARE(states.at(states.size() - 2), qMakePair(int(OVSessionSyncStatusSyncing), 100));
        for (int i = 2; i < states.size() - 1; ++i)
            QVERIFY(states.at(i).second >= states.at(i - 1).second);
        QVERIFY(storedAsSynced(*session));
    }

    void existingRecord_data() {
        QTest::addColumn<QString>("onServer");
        QTest::addColumn<int>("recordCount");
        QTest::addColumn<bool>("uploads");
        QTest::newRow("none: one is created") << "none" << 1 << true;
        QTest::newRow("incomplete: uploaded into again") << "incomplete" << 1 << true;
        QTest::newRow("complete: nothing sent") << "complete" << 1 << false;
        QTest::newRow("deleted: a new one is created") << "deleted" << 2 << true;
    }
    void existingRecord() {
        QFETCH(QString, onServer);
        QFETCH(int, recordCount);
        QFETCH(bool, uploads);
        const QByteArray data = OVUploadTestBed::pattern(3 * 512, 7);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.5e9, data);
        if (onServer == QLatin1String("complete")) {
            QVERIFY(syncToEnd(session));
            session->setAlreadySynced(false);
            session->setSyncStatus(OVSessionSyncStatusReadyToSync);
        } else if (onServer != QLatin1String("none")) {
            OVRecord record = OVRecord::buildRecordFromSession(*session);
            OVError error;
            QVERIFY2(m_bed.service().createRecord(record, &error), qPrintable(error.description()));
            if (onServer == QLatin1String("deleted"))
                m_bed.service().sendSync(
                    m_bed.service().buildRequest(QStringLiteral("record/") +
                                                     OVService::getResourceIdFromUri(*record.resource_uri),
                                                 QStringLiteral("DELETE")),
                    &error);
        }
        const QDateTime dataFileTime = QFileInfo(m_bed.dataFilePath(*session)).lastModified();
        m_log->clear();

        QVERIFY(syncToEnd(session));

        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
        QCOMPARE(m_log->count(QStringLiteral("Upload didReceiveResponse")) > 0, uploads);
        const QList<OVRecord> records = m_bed.records(*session);
        QCOMPARE(records.size(), recordCount);
        QCOMPARE(records.last().status, OVRecordStatusComplete);
        QVERIFY(m_bed.timeline(records.last()) == data);
        QCOMPARE(QFileInfo(m_bed.dataFilePath(*session)).lastModified(), dataFileTime);
    }

    // Fault rows share one server whose chunk counter runs across them: keep their order.
    void failures_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<quint64>("pages");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("chunksLeft");
        // Server chunks 1-3: the second is answered 500.
        QTest::newRow("middle chunk refused")
            << 5 * kMiB * 5 / 2 << quint64(25600) << int(OVSessionSyncStatusSynced) << 0 << QString() << 0;
        // Chunks 4-6: the last is answered 400.
        QTest::newRow("last chunk refused")
            << 5 * kMiB * 5 / 2 << quint64(25600) << int(OVSessionSyncStatusSyncFailed) << 400
            << "Error: Bad Request, {\"error\"" << 0;
        // Chunks 7-9: the connection is reset half way, and again on each of the network stack's own
        // two resends; a transport error carries Qt's code (any).
        QTest::newRow("connection reset")
            << 10 * kMiB << quint64(20480) << int(OVSessionSyncStatusSyncFailed) << -1 << QString() << 2;
        QTest::newRow("data file missing") << qint64(0) << quint64(4) << int(OVSessionSyncStatusSyncFailed)
                                           << 1 << "Session doesn't have all the data to sync" << 0;
    }
    void failures() {
        QFETCH(qint64, size);
        QFETCH(quint64, pages);
        QFETCH(int, status);
        QFETCH(int, code);
        QFETCH(QString, description);
        QFETCH(int, chunksLeft);
        if (!m_faultyServer) {
            m_faultyServer = std::make_unique<OVCloudServer>();
            m_faultyServer->setEnvironment(QStringLiteral("OVCLOUD_FAULT_FAIL_CHUNK"),
                                           QStringLiteral("2:500,6:400"));
            m_faultyServer->setEnvironment(QStringLiteral("OVCLOUD_FAULT_RESET_CHUNK"),
                                           QStringLiteral("7,8,9"));
            QString error;
            QVERIFY2(m_faultyServer->start(&error), qPrintable(error));
        }
        OVUploadTestBed::useServer(*m_faultyServer);
        const auto session =
            m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.4e9, OVUploadTestBed::pattern(size, 3));
        session->setPageCount(pages);
        session->setEndPage(pages - 1);

        QVERIFY(syncToEnd(session));

        QCOMPARE(session->syncStatus(), status);
        QVERIFY(!session->alreadySynced() || status == OVSessionSyncStatusSynced);
        if (status == OVSessionSyncStatusSyncFailed) {
            QVERIFY(m_log->count(QStringLiteral("SYNC SESSION FAILED!")) == 1);
            QVERIFY(code == -1 ? session->syncErrorCode() != 0 : session->syncErrorCode() == code);
            QVERIFY2(session->syncErrorInformation().startsWith(
                         QStringLiteral("Failed Syncing. Please try again. Error details: ") + description),
                     qPrintable(session->syncErrorInformation()));
            QVERIFY(m_log->count(
                        QStringLiteral("^\\(%1\\)-SYNC SESSION FAILED! .*Error : %2")
                            .arg(session->deviceSerial(), QRegularExpression::escape(description))) == 1);
        }
        QCOMPARE(chunkFiles(m_bed.dataFilePath(*session)).size(), chunksLeft);
    }

    void cancellationMidChunk() {
        const QByteArray data = OVUploadTestBed::pattern(25 * kMiB / 2, 11);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.3e9, data);
        auto syncher = std::make_shared<OVSessionSyncher>(&m_bed.service(), session);
        StatusTrail trail(session);
        trail.onFirstProgress([syncher] { syncher->cancel(); });

        syncher->start();
        QTRY_VERIFY_WITH_TIMEOUT(syncher->isFinished(), kFinalTimeoutMs);

        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSyncCancelled));
        QVERIFY(!session->alreadySynced());
        QCOMPARE(trail.states().last().first, int(OVSessionSyncStatusSyncCancelled));
        QCOMPARE(trail.states().size(), 3); // started, one progress, cancelled
        QCOMPARE(m_log->count(QStringLiteral("Upload didReceiveResponse")), 0);
        QCOMPARE(chunkFiles(m_bed.dataFilePath(*session)).size(), 3);
        QCOMPARE(m_bed.records(*session).first().status, OVRecordStatusIncomplete);
    }

private:
    bool syncToEnd(const std::shared_ptr<OVSession>& session) {
        auto syncher = std::make_shared<OVSessionSyncher>(&m_bed.service(), session);
        syncher->start();
        return QTest::qWaitFor([&] { return syncher->isFinished() && session->isInSyncFinalState(); },
                               kFinalTimeoutMs);
    }

    bool storedAsSynced(const OVSession& session) {
        OVError error;
        const auto all = m_bed.repo().getAllSessions(&error);
        for (const auto& stored : all.value_or(OVSessionList()))
            if (stored->deviceSerial() == session.deviceSerial())
                return stored->alreadySynced();
        return false;
    }

    std::shared_ptr<OVLogCapture> m_log;
    OVUploadTestBed m_bed;
    OVCloudServer m_server;
    std::unique_ptr<OVCloudServer> m_faultyServer;
};

QTEST_GUILESS_MAIN(tst_OVSessionSyncher)
#include "tst_OVSessionSyncher.moc"

// The session syncher against real ovcloud servers: chunking and reassembly, the server's existing
// records, failures (injected by the server) and cancellation.
#include "OVMainThread.h"
#include "OVNotificationCenter.h"
#include "OVPropertyList.h"
#include "OVSessionSyncher.h"
#include "OVTestCapture.h"
#include "OVUploadTestBed.h"
#include "ServiceProbe.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr qint64 kMiB = 1024 * 1024;
using Range = QPair<qint64, qint64>;

QStringList chunkFiles(const QString& dataFilePath) {
    return QFileInfo(dataFilePath).dir().entryList({QStringLiteral("part_*.dat")}, QDir::Files);
}

/** The byte ranges the server acknowledged, in the order its answers arrived. */
QList<Range> acknowledgedRanges(const QStringList& lines) {
    static const QRegularExpression received(
        QStringLiteral("didReceiveData.*\"received\":\\s*\\[(\\d+),\\s*(\\d+)\\]"));
    QList<Range> ranges;
    for (const QString& line : lines)
        if (const auto match = received.match(line); match.hasMatch())
            ranges << Range(match.captured(1).toLongLong(), match.captured(2).toLongLong());
    return ranges;
}

} // namespace

class tst_OVSessionSyncher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        m_log = OVLogCapture::install();
        QString error;
        QVERIFY2(m_bed.start(m_server, &error), qPrintable(error));
        // Its first record creation is saved, then its answer lost (see postIsSentOnce). Server chunks 2
        // and 7 are refused, 11 redirected; 8-10 are reset half way (see failures_data).
        m_faultyServer.setEnvironment(QStringLiteral("OVCLOUD_FAULT_DROP_ANSWER_RECORD"),
                                      QStringLiteral("1"));
        m_faultyServer.setEnvironment(QStringLiteral("OVCLOUD_FAULT_FAIL_CHUNK"),
                                      QStringLiteral("2:500,7:400,11:302"));
        m_faultyServer.setEnvironment(QStringLiteral("OVCLOUD_FAULT_RESET_CHUNK"), QStringLiteral("8,9,10"));
        QVERIFY2(m_faultyServer.start(&error), qPrintable(error));
    }
    void init() {
        OVUploadTestBed::useServer(m_server);
        m_log->clear();
    }
    void cleanup() { OVNotificationCenter::defaultCenter().removeObserver(this); }
    void cleanupTestCase() { OVLogCapture::uninstall(); }

    void percentage() {
        QCOMPARE(OVSessionSyncher::percentageForBytes(2, 3), 66); // the whole part only
        QCOMPARE(OVSessionSyncher::percentageForBytes(13107200, 13107200), 100);
        QCOMPARE(OVSessionSyncher::percentageForBytes(104, 100), 100); // never past the end
    }

    // Which chunks of a 12.5 MiB data file (chunks 0 and 1 of 5 MiB, chunk 2 of 2.5 MiB) go to a record.
    void chunksToSend_data() {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<bool>("rangesKnown");
        QTest::addColumn<QList<Range>>("held");
        QTest::addColumn<QList<int>>("sent");
        const qint64 size = 25 * kMiB / 2;
        QTest::newRow("ranges not given") << size << false << QList<Range>() << QList<int>{0, 1, 2};
        QTest::newRow("no range held") << size << true << QList<Range>() << QList<int>{0, 1, 2};
        QTest::newRow("first chunk held")
            << size << true << QList<Range>{{0, 5 * kMiB - 1}} << QList<int>{1, 2};
        QTest::newRow("first chunk and part of the next")
            << size << true << QList<Range>{{0, 6 * kMiB}} << QList<int>{1, 2};
        QTest::newRow("middle chunk held")
            << size << true << QList<Range>{{5 * kMiB, 10 * kMiB - 1}} << QList<int>{0, 2};
        QTest::newRow("last chunk held: the one before goes last")
            << size << true << QList<Range>{{10 * kMiB, size - 1}} << QList<int>{0, 1};
        QTest::newRow("all held: the last chunk still goes")
            << size << true << QList<Range>{{0, size - 1}} << QList<int>{2};
        QTest::newRow("first chunk short of its last byte")
            << size << true << QList<Range>{{0, 5 * kMiB - 2}} << QList<int>{0, 1, 2};
        QTest::newRow("first chunk held in two pieces with a gap")
            << size << true << QList<Range>{{0, 99}, {101, 5 * kMiB - 1}} << QList<int>{0, 1, 2};
        QTest::newRow("another total declared")
            << size + 512 << true << QList<Range>{{0, 10 * kMiB - 1}} << QList<int>{0, 1, 2};
    }
    void chunksToSend() {
        QFETCH(qint64, total);
        QFETCH(bool, rangesKnown);
        QFETCH(QList<Range>, held);
        QFETCH(QList<int>, sent);
        OVRecord record;
        record.status = OVRecordStatusIncomplete;
        record.timelineTotal = total;
        if (rangesKnown)
            record.timelineRanges = held;

        QCOMPARE(OVSessionSyncher::chunksToSend(25 * kMiB / 2, record), sent);
    }

    void uploadsChunksInOrder_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QList<Range>>("ranges");
        QTest::newRow("two and a half chunks")
            << 25 * kMiB / 2
            << QList<Range>{{0, 5 * kMiB - 1}, {5 * kMiB, 10 * kMiB - 1}, {10 * kMiB, 25 * kMiB / 2 - 1}};
        QTest::newRow("exactly one chunk") << 5 * kMiB << QList<Range>{{0, 5 * kMiB - 1}};
    }
    void uploadsChunksInOrder() {
        QFETCH(qint64, size);
        QFETCH(QList<Range>, ranges);
        const QByteArray data = OVUploadTestBed::pattern(size, quint32(size));
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.6e9, data);
        watchProgress(session);

        QVERIFY(syncToEnd(session));

        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
        QCOMPARE(acknowledgedRanges(m_log->lines()), ranges);
        QVERIFY(serverHoldsOnly(*session, data));
        QCOMPARE(chunkFiles(m_bed.dataFilePath(*session)), QStringList());
        QCOMPARE(QFileInfo(m_bed.dataFilePath(*session)).size(), size);
        QVERIFY(std::is_sorted(m_percentages.begin(), m_percentages.end()));
        QCOMPARE(m_percentages.last(), 100);
        OVError error;
        QFile stored(OVSessionFileRepository().getSessionFilePath(*session, &error));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(OVSessionFileRepository::convertToSession(stored.readAll(), &error)->alreadySynced());
    }

    // Resuming into an incomplete record is the fault campaign's (a service killed mid-upload).
    void existingRecord_data() {
        QTest::addColumn<bool>("deleted"); // else complete
        QTest::newRow("complete: nothing sent") << false;
        QTest::newRow("deleted: a new one is created") << true;
    }
    void existingRecord() {
        QFETCH(bool, deleted);
        const QByteArray data = OVUploadTestBed::pattern(3 * 512, 7);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.5e9, data);
        QVERIFY(syncToEnd(session));
        session->setAlreadySynced(false);
        if (deleted)
            m_bed.deleteRecord(m_bed.records(*session).first());
        const QDateTime dataFileTime = QFileInfo(m_bed.dataFilePath(*session)).lastModified();
        m_log->clear();

        QVERIFY(syncToEnd(session));

        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
        QCOMPARE(m_log->count(QStringLiteral("Upload didReceiveResponse")) > 0, deleted);
        const QList<OVRecord> records = m_bed.records(*session);
        QCOMPARE(records.size(), deleted ? 2 : 1);
        QCOMPARE(records.last().status, OVRecordStatusComplete);
        QVERIFY(m_bed.timeline(records.last()) == data);
        QCOMPARE(QFileInfo(m_bed.dataFilePath(*session)).lastModified(), dataFileTime);
    }

    // The server may have created what a POST asked for before its connection broke: it must not go again.
    void postIsSentOnce() {
        OVUploadTestBed::useServer(m_faultyServer);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.45e9, QByteArray());
        OVRecord record = OVRecord::buildRecordFromSession(*session);
        OVError error;
        QVERIFY(!m_bed.service().createRecord(record, &error));
        QTest::qWait(300); // a repeat is sent at once, on a new connection
        QCOMPARE(m_bed.records(*session).size(), 1);
    }

    // The fault rows share one server whose chunk count runs across them: keep their order.
    void failures_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<quint64>("pages");
        QTest::addColumn<int>("code"); // 0: synced; -1: failed with any code
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("chunksLeft");
        // Server chunks 1-4: the second is answered 500 and goes again as the fourth.
        QTest::newRow("middle chunk refused") << 25 * kMiB / 2 << quint64(25600) << 0 << QString() << 0;
        // Chunks 5-7: the last is answered 400.
        QTest::newRow("last chunk refused")
            << 25 * kMiB / 2 << quint64(25600) << 400 << "Error: Bad Request, {\"error\"" << 0;
        // Chunks 8-10: the connection is reset half way, and on each of Qt's own two resends.
        QTest::newRow("connection reset") << 10 * kMiB << quint64(20480) << -1 << QString() << 2;
        // Chunk 11: a redirect, never followed, stores nothing.
        QTest::newRow("only chunk redirected") << qint64(3 * 512) << quint64(3) << 302 << QString() << 0;
        QTest::newRow("data file missing")
            << qint64(0) << quint64(4) << 1 << "Session doesn't have all the data to sync" << 0;
    }
    void failures() {
        QFETCH(qint64, size);
        QFETCH(quint64, pages);
        QFETCH(int, code);
        QFETCH(QString, description);
        QFETCH(int, chunksLeft);
        OVUploadTestBed::useServer(m_faultyServer);
        const QByteArray data = OVUploadTestBed::pattern(size, 3);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.4e9, data);
        session->setPageCount(pages);
        session->setEndPage(pages - 1);

        QVERIFY(syncToEnd(session));

        QCOMPARE(chunkFiles(m_bed.dataFilePath(*session)).size(), chunksLeft);
        if (code == 0) { // the refused chunk went again: no hole on the server
            QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
            const OVRecord record = m_bed.records(*session).last();
            QCOMPARE(record.status, OVRecordStatusComplete);
            QVERIFY(m_bed.timeline(record) == data);
            return;
        }
        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSyncFailed));
        QVERIFY(!session->alreadySynced());
        QVERIFY(code == -1 ? session->syncErrorCode() != 0 : session->syncErrorCode() == code);
        QVERIFY2(session->syncErrorInformation().startsWith(
                     QStringLiteral("Failed Syncing. Please try again. Error details: ") + description),
                 qPrintable(session->syncErrorInformation()));
        QCOMPARE(m_log->count(QStringLiteral("^\\(%1\\)-SYNC SESSION FAILED! .*Error : %2")
                                  .arg(session->deviceSerial(), QRegularExpression::escape(description))),
                 1);
    }

    // A session without pages of its own (page count 0) and an empty data file: the page files make it.
    void rebuildsTheDataFileFromPageFiles_data() {
        QTest::addColumn<bool>("pageMissing");
        QTest::newRow("all page files") << false;
        QTest::newRow("a page file missing") << true;
    }
    void rebuildsTheDataFileFromPageFiles() {
        QFETCH(bool, pageMissing);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.35e9, QByteArray());
        session->setStartPage(10);
        session->setEndPage(12);
        const QString dataFile = m_bed.dataFilePath(*session);
        QFile(dataFile).open(QIODevice::WriteOnly);
        QDir(QFileInfo(dataFile).path()).mkpath(QStringLiteral("PAGES"));
        QByteArray pages;
        for (int n = 10; n <= 12; ++n) {
            const QByteArray page = OVUploadTestBed::pattern(512, quint32(n));
            OVPropertyList list;
            list.setData("data", page);
            OVError error;
            QFile file(QFileInfo(dataFile).path() + QStringLiteral("/PAGES/ov_%1.dat").arg(n));
            if (!(pageMissing && n == 11) && file.open(QIODevice::WriteOnly))
                file.write(list.toBinary(&error));
            pages += page;
        }

        QVERIFY(syncToEnd(session));

        if (pageMissing) {
            QCOMPARE(
                session->syncErrorInformation(),
                QStringLiteral("Failed Syncing. Please try again. Error details: An unexpected exception "
                               "occurred during session SYNCHER. Please try again"));
            QCOMPARE(
                m_log->count(QStringLiteral("An exception occurred during session SYNCHER startSyncing")), 1);
            return;
        }
        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
        QVERIFY(m_bed.timeline(m_bed.records(*session).last()) == pages);
        QFile rebuilt(dataFile);
        QVERIFY(rebuilt.open(QIODevice::ReadOnly) && rebuilt.readAll() == pages);
    }

    // Whatever the server refuses or loses, a session is synced only when its record holds every byte;
    // otherwise it fails, and the next sync completes the record. Chunks are numbered as the server
    // receives them; 21,000 pages make chunks 0 and 1 of 5 MiB and chunk 2 of 260 KiB.
    void syncedOnlyWhenTheServerHoldsEveryByte_data() {
        QTest::addColumn<QString>("refused");    // OVCLOUD_FAULT_FAIL_CHUNK
        QTest::addColumn<QString>("answerLost"); // OVCLOUD_FAULT_DROP_ANSWER_CHUNK
        QTest::addColumn<bool>("syncedAtOnce");
        // 0 and 1 refused, 2, 0 refused again, 1: the record lacks chunk 0, the last answer is 200.
        QTest::newRow("a chunk refused twice") << "1:500,2:500,4:500" << QString() << false;
        // 0, 1 refused, 2 refused, then 1 and 2 again.
        QTest::newRow("two chunks refused once") << "2:503,3:500" << QString() << true;
        // The last chunk answered with a redirect has not been stored.
        QTest::newRow("last chunk redirected") << "3:302" << QString() << false;
        // 0 refused, 1, 2, then 0 again stored but its answer lost, on the network stack's resends too.
        QTest::newRow("answer to the last chunk lost") << "1:500"
                                                       << "4,5,6" << false;
    }
    void syncedOnlyWhenTheServerHoldsEveryByte() {
        QFETCH(QString, refused);
        QFETCH(QString, answerLost);
        QFETCH(bool, syncedAtOnce);
        OVCloudServer server;
        server.setEnvironment(QStringLiteral("OVCLOUD_FAULT_FAIL_CHUNK"), refused);
        if (!answerLost.isEmpty())
            server.setEnvironment(QStringLiteral("OVCLOUD_FAULT_DROP_ANSWER_CHUNK"), answerLost);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        OVUploadTestBed::useServer(server);
        const QByteArray data = OVUploadTestBed::pattern(21000 * 512, 21);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.25e9, data);
        watchProgress(session);

        QVERIFY(syncToEnd(session));

        QCOMPARE(session->syncStatus() == OVSessionSyncStatusSynced, syncedAtOnce);
        QCOMPARE(session->alreadySynced(), syncedAtOnce);
        QVERIFY(std::is_sorted(m_percentages.begin(), m_percentages.end()));
        QCOMPARE(m_bed.records(*session).size(), 1);
        if (!syncedAtOnce) {
            QVERIFY(session->canSync());
            QVERIFY(syncToEnd(session));
            QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
        }
        QCOMPARE(session->percentage(), 100);
        QVERIFY(serverHoldsOnly(*session, data));
    }

    // A server that answers a record query with every record of the device: each session still gets
    // its own record and its own bytes.
    void onlyTheSessionsOwnRecordIsUsed() {
        ServiceProbe everyRecord(m_bed.service());
        everyRecord.dropStartFilter = true;
        const QString serial = OVUploadTestBed::uniqueSerial();
        QList<std::shared_ptr<OVSession>> sessions;
        for (int i = 0; i < 3; ++i) {
            sessions << m_bed.storedSession(serial, 1.15e9 + 1000 * i, OVUploadTestBed::pattern(3 * 512, i));
            QVERIFY(syncToEnd(sessions.last(), &everyRecord));
        }

        for (int i = 0; i < 3; ++i) {
            QVERIFY(serverHoldsOnly(*sessions[i], OVUploadTestBed::pattern(3 * 512, i)));
        }
    }

    // A record holding some chunks (an upload cut short by a stall, a cancel, a kill or an unplug) gets
    // only the others; a chunk file an earlier attempt left is removed with the chunk.
    void resumesWhereTheRecordLeftOff_data() {
        QTest::addColumn<QList<int>>("held");
        QTest::addColumn<QList<Range>>("sent");
        const qint64 size = 25 * kMiB / 2;
        QTest::newRow("first chunk held")
            << QList<int>{0} << QList<Range>{{5 * kMiB, 10 * kMiB - 1}, {10 * kMiB, size - 1}};
        QTest::newRow("first two chunks held") << QList<int>{0, 1} << QList<Range>{{10 * kMiB, size - 1}};
        QTest::newRow("middle chunk held")
            << QList<int>{1} << QList<Range>{{0, 5 * kMiB - 1}, {10 * kMiB, size - 1}};
    }
    void resumesWhereTheRecordLeftOff() {
        QFETCH(QList<int>, held);
        QFETCH(QList<Range>, sent);
        const QByteArray data = OVUploadTestBed::pattern(25 * kMiB / 2, 17);
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.05e9, data);
        OVRecord record = OVRecord::buildRecordFromSession(*session);
        OVError error;
        QVERIFY(m_bed.service().createRecord(record, &error));
        qint64 heldBytes = 0;
        for (const int index : held) {
            const qint64 first = index * OVSessionSyncher::kChunkSize;
            heldBytes += std::min(OVSessionSyncher::kChunkSize, data.size() - first);
            QVERIFY(sendToRecord(record, data, first,
                                 std::min(data.size(), first + OVSessionSyncher::kChunkSize) - 1));
        }
        const QString dir = QFileInfo(m_bed.dataFilePath(*session)).path();
        QFile leftOver(dir + QStringLiteral("/part_%1_%2_%3.dat")
                                 .arg(held.first())
                                 .arg(held.first() * 5 * kMiB)
                                 .arg((held.first() + 1) * 5 * kMiB - 1));
        QVERIFY(leftOver.open(QIODevice::WriteOnly) && leftOver.write("stale") == 5);
        leftOver.close();
        watchProgress(session);
        m_log->clear();

        QVERIFY(syncToEnd(session));

        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSynced));
        QCOMPARE(acknowledgedRanges(m_log->lines()), sent);
        QCOMPARE(m_log->count(QStringLiteral("Upload didReceiveResponse")), sent.size());
        QCOMPARE(m_log->count(QStringLiteral("-Resuming upload of .*: the server holds %1 of %2 bytes")
                                  .arg(heldBytes)
                                  .arg(data.size())),
                 1);
        QVERIFY(serverHoldsOnly(*session, data));
        QCOMPARE(m_bed.records(*session).first().n_uploaded_timelines,
                 std::optional<qint64>(held.size() + sent.size()));
        QCOMPARE(chunkFiles(m_bed.dataFilePath(*session)), QStringList());
        // The progress starts at what the server held and never goes back.
        QVERIFY(!m_percentages.isEmpty());
        QCOMPARE(m_percentages.first(),
                 OVSessionSyncher::percentageForBytes(quint64(heldBytes), quint64(data.size())));
        QVERIFY(std::is_sorted(m_percentages.begin(), m_percentages.end()));
        QCOMPARE(m_percentages.last(), 100);
    }

    void cancellationMidChunk() {
        const auto session = m_bed.storedSession(OVUploadTestBed::uniqueSerial(), 1.3e9,
                                                 OVUploadTestBed::pattern(25 * kMiB / 2, 11));
        auto syncher = std::make_shared<OVSessionSyncher>(&m_bed.service(), session);
        QList<int> states; // from the main thread once the chunks are under way
        OVNotificationCenter::defaultCenter().addObserver(
            this, OVNotificationName::OnSessionSyncStatusChanged, [&](const OVNotification&) {
                if (OVMainThread::isMainThread())
                    states << session->syncStatus();
                if (session->syncStatus() == OVSessionSyncStatusSyncing)
                    syncher->cancel();
            });

        syncher->start();
        QTRY_VERIFY_WITH_TIMEOUT(syncher->isFinished(), 120000);

        QCOMPARE(states, (QList<int>{OVSessionSyncStatusSyncing, OVSessionSyncStatusSyncCancelled}));
        QVERIFY(!session->alreadySynced());
        QCOMPARE(m_log->count(QStringLiteral("Upload didReceiveResponse")), 0);
        QCOMPARE(chunkFiles(m_bed.dataFilePath(*session)).size(), 3);
        QCOMPARE(m_bed.records(*session).first().status, OVRecordStatusIncomplete);
    }

private:
    /** Stores bytes first..last of data on the record, as an earlier upload would have. */
    bool sendToRecord(const OVRecord& record, const QByteArray& data, qint64 first, qint64 last) {
        const QTemporaryDir dir;
        const QString chunk = dir.filePath(QStringLiteral("held_0_%1_%2.dat").arg(first).arg(last));
        QFile file(chunk);
        const qint64 length = last - first + 1;
        if (!file.open(QIODevice::WriteOnly) || file.write(data.mid(first, length)) != length)
            return false;
        file.close();
        OVError error;
        const auto request = m_bed.service().createUploadRecordRequest(record, chunk, data.size(), &error);
        const bool sent = request && m_bed.service().sendSync(*request, &error);
        return sent && !error.isSet();
    }

    /** Whether the server holds one record of the session, complete, of exactly these bytes. */
    bool serverHoldsOnly(const OVSession& session, const QByteArray& data) {
        const QList<OVRecord> records = m_bed.records(session);
        return records.size() == 1 && records.first().status == OVRecordStatusComplete &&
               m_bed.timeline(records.first()) == data;
    }

    /** Keeps the percentages the session shows while syncing, from now on (on the main thread only). */
    void watchProgress(const std::shared_ptr<OVSession>& session) {
        m_percentages.clear();
        OVNotificationCenter::defaultCenter().addObserver(
            this, OVNotificationName::OnSessionSyncStatusChanged, [this, session](const OVNotification&) {
                if (session->syncStatus() == OVSessionSyncStatusSyncing)
                    m_percentages << session->percentage();
            });
    }

    bool syncToEnd(const std::shared_ptr<OVSession>& session, OVServiceProtocol* service = nullptr) {
        auto syncher = std::make_shared<OVSessionSyncher>(service ? service : &m_bed.service(), session);
        syncher->start();
        return QTest::qWaitFor([&] { return syncher->isFinished() && session->isInSyncFinalState(); },
                               120000);
    }

    std::shared_ptr<OVLogCapture> m_log;
    QList<int> m_percentages;
    OVUploadTestBed m_bed;
    OVCloudServer m_server;
    OVCloudServer m_faultyServer;
};

QTEST_GUILESS_MAIN(tst_OVSessionSyncher)
#include "tst_OVSessionSyncher.moc"

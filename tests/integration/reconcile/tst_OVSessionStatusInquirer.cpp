// Session states reconciled with the records of a real ovcloud server: paging through the record
// list, the match rule and every status decision, and the background variant.
#include "CloudRig.h"
#include "OVNotificationCenter.h"
#include "OVSessionStatusInquirer.h"

#include <QTest>

#include <thread>

namespace {

constexpr double kFirstStart = 1700000000.0;
constexpr quint64 kPages = 4;
constexpr qint64 kComplete = kPages * 512;

std::optional<bool> savedAlreadySynced(const OVSession& session) {
    OVSessionFileRepository repository;
    for (const auto& stored : repository.getAllSessions(nullptr).value_or(OVSessionList())) {
        if (stored->deviceSerial() == session.deviceSerial() && stored->start() == session.start())
            return stored->alreadySynced();
    }
    return std::nullopt;
}

} // namespace

class tst_OVSessionStatusInquirer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_cloud.start(&error), qPrintable(error));
        m_inquirer.setService(&m_probe);
    }

    void pagesThroughTheWindow_data() {
        QTest::addColumn<bool>("dropOffset");
        QTest::addColumn<int>("failQuery");
        QTest::addColumn<QList<qint64>>("offsets");
        QTest::addColumn<int>("synced");
        QTest::addColumn<int>("unknown");
        QTest::newRow("offsets read from each next")
            << false << 0 << QList<qint64>{-1, 500, 1000} << 1200 << 0;
        QTest::newRow("next without offset ends the paging") << true << 0 << QList<qint64>{-1} << 500 << 0;
        QTest::newRow("failing second page keeps the first")
            << false << 2 << QList<qint64>{-1, 500} << 500 << 700;
    }

    // 1,200 records of one device, sessions without local data: matched ones become synced, the others
    // wait for storing, or stay unknown when the query failed.
    void pagesThroughTheWindow() {
        QFETCH(bool, dropOffset);
        QFETCH(int, failQuery);
        QFETCH(QList<qint64>, offsets);
        QFETCH(int, synced);
        QFETCH(int, unknown);
        const QString serial = QStringLiteral("OVPAGING000001");
        if (!m_pagingSeeded) {
            QJsonArray rows;
            for (int i = 0; i < 1200; ++i)
                rows.append(
                    CloudRig::recordRow(serial, kFirstStart + i * 600, 101, QStringLiteral("complete")));
            QVERIFY(m_cloud.seedRecords(rows));
            m_pagingSeeded = true;
        }
        OVSessionList sessions;
        for (int i = 0; i < 1200; ++i)
            sessions.append(storedSession(serial, kFirstStart + i * 600, 101, kPages, -1));

        const int before = int(m_probe.recordQueries().size());
        m_probe.dropOffsetFromNext = dropOffset;
        m_probe.failRecordQuery = failQuery ? before + failQuery : 0;
        int posted = 0;
        OVNotificationCenter::defaultCenter().addObserver(this,
                                                          OVNotificationName::OnSessionSyncStatusChanged,
                                                          [&posted](const OVNotification&) { ++posted; });
        m_inquirer.updateSessionsStatus(sessions);
        OVNotificationCenter::defaultCenter().removeObserver(this);
        m_probe.dropOffsetFromNext = false;
        m_probe.failRecordQuery = 0;

        const QList<OVRecordFilter> queries = m_probe.recordQueries().mid(before);
        QList<qint64> seenOffsets;
        for (const OVRecordFilter& q : queries)
            seenOffsets << q.offset.value_or(-1);
        QCOMPARE(seenOffsets, offsets);
        QCOMPARE(queries.first().limit, std::optional<qint64>(500));
        QCOMPARE(queries.first().exact_device, std::optional<QString>(serial));
        QCOMPARE(posted, 1200);
        QMap<int, int> byStatus;
        for (const auto& session : sessions)
            ++byStatus[session->syncStatus()];
        QCOMPARE(byStatus.value(OVSessionSyncStatusSynced), synced);
        QCOMPARE(byStatus.value(OVSessionSyncStatusNone), unknown);
        QCOMPARE(byStatus.value(OVSessionSyncStatusStoringFailed), 1200 - synced - unknown);
    }

    void decidesEachSessionsState_data() {
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("recordUser");
        QTest::addColumn<qint64>("timelineSize");
        QTest::addColumn<qint64>("held");
        QTest::addColumn<bool>("alreadySynced");
        QTest::addColumn<bool>("queryFails");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("savedSynced");
        const QString none, complete = QStringLiteral("complete"), incomplete = QStringLiteral("incomplete");
        QTest::newRow("no record, data complete")
            << none << 0 << 0LL << kComplete << false << false << 1 << false;
        QTest::newRow("no record, data partial") << none << 0 << 0LL << 512LL << false << false << 7 << false;
        QTest::newRow("no record, synced before") << none << 0 << 0LL << 512LL << true << false << 4 << false;
        QTest::newRow("query fails, data partial")
            << none << 0 << 0LL << 512LL << false << true << 0 << false;
        QTest::newRow("query fails, data complete")
            << none << 0 << 0LL << kComplete << false << true << 1 << false;
        QTest::newRow("query fails, synced before") << none << 0 << 0LL << 0LL << true << true << 4 << false;
        QTest::newRow("complete record") << complete << 101 << 0LL << 512LL << false << false << 4 << true;
        QTest::newRow("deleted record")
            << QStringLiteral("deleted") << 101 << 0LL << 0LL << false << false << 4 << true;
        QTest::newRow("record of another user")
            << complete << 102 << 0LL << 512LL << false << false << 7 << false;
        QTest::newRow("server holds the local file's bytes")
            << incomplete << 101 << 1024LL << 1024LL << false << false << 4 << true;
        QTest::newRow("server holds fewer bytes")
            << incomplete << 101 << 512LL << kComplete << false << false << 1 << false;
        QTest::newRow("file gone, server holds all pages")
            << incomplete << 101 << kComplete << -1LL << false << false << 4 << true;
        QTest::newRow("no bytes on server, data partial")
            << incomplete << 101 << 0LL << 512LL << false << false << 7 << false;
        QTest::newRow("no bytes on server, data complete")
            << incomplete << 101 << 0LL << kComplete << false << false << 1 << false;
    }

    // One session alone: its window is [start, start + 1 s], and the decision follows the record found.
    void decidesEachSessionsState() {
        QFETCH(QString, record);
        QFETCH(int, recordUser);
        QFETCH(qint64, timelineSize);
        QFETCH(qint64, held);
        QFETCH(bool, alreadySynced);
        QFETCH(bool, queryFails);
        QFETCH(int, status);
        QFETCH(bool, savedSynced);
        const QString serial = QStringLiteral("OVSTATE%1").arg(++m_serialNumber, 6, 10, QLatin1Char('0'));
        if (!record.isEmpty())
            QVERIFY(m_cloud.seedRecords(
                {CloudRig::recordRow(serial, kFirstStart, recordUser, record, timelineSize)}));
        const auto session = storedSession(serial, kFirstStart, 101, kPages, held);
        session->setAlreadySynced(alreadySynced);
        const int before = int(m_probe.recordQueries().size());
        m_probe.failRecordQuery = queryFails ? before + 1 : 0;
        m_inquirer.updateSessionsStatus({session});
        m_probe.failRecordQuery = 0;

        const OVRecordFilter query = m_probe.recordQueries().value(before);
        QCOMPARE(query.greatherThanOrEqual_startTimestamp, std::optional<OVDate>(session->start()));
        QCOMPARE(query.lessThanOrEqual_startTimestamp,
                 std::optional<OVDate>(session->start().addingSeconds(1)));
        QCOMPARE(session->syncStatus(), status);
        if (savedSynced) {
            QVERIFY(session->alreadySynced());
            QCOMPARE(savedAlreadySynced(*session), std::optional<bool>(true));
        }
    }

    // The background variant needs no inquirer once queued and calls back off the caller's thread.
    void updatesInTheBackground() {
        const QString serial = QStringLiteral("OVASYNC000001");
        const auto session = storedSession(serial, kFirstStart, 101, kPages, kComplete);
        std::atomic<bool> done{false};
        std::thread::id callbackThread;
        {
            OVSessionStatusInquirer dropped;
            dropped.setService(&m_probe);
            dropped.updateSessionsStatusAsync({session}, [&] {
                callbackThread = std::this_thread::get_id();
                done = true;
            });
        }
        QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 30000));
        QVERIFY(callbackThread != std::this_thread::get_id());
        QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusReadyToSync));
    }

private:
    CloudRig m_cloud;
    ServiceProbe m_probe{m_cloud.service()};
    OVSessionStatusInquirer m_inquirer;
    bool m_pagingSeeded = false;
    int m_serialNumber = 0;
};

QTEST_GUILESS_MAIN(tst_OVSessionStatusInquirer)
#include "tst_OVSessionStatusInquirer.moc"

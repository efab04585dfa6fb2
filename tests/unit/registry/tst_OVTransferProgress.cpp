#include "OVStallWatchdog.h"
#include "OVTransferProgress.h"

#include <QTest>

using Step = OVTransferProgress::Step;

using Pair = QPair<qint64, qint64>;
using Reports = QList<Pair>;

namespace {
const QString kSerial = QStringLiteral("OVR0000000000701");

OVTransferProgress::Position downloading(qint64 done, int index = 1) {
    return {Step::Downloading, index, 3, done, 1000000, done};
}

// A chunk sent again once the whole session has been sent once: the position stands, bytes still move.
OVTransferProgress::Position resending(qint64 moved) {
    return {Step::Uploading, 2, 2, 1000000, 1000000, moved};
}
} // namespace

class tst_OVTransferProgress : public QObject {
    Q_OBJECT

private:
    qint64 m_now = 0;
    OVTransferProgress m_progress{[this] { return m_now; }};

private Q_SLOTS:
    void init() {
        m_now = 0;
        m_progress.clear(kSerial);
    }

    // Reports of (ms, bytes done) -> (bytes per second, seconds left).
    void speedIsOverTheLastTenSecondsAndGivesTheTimeLeft_data() {
        QTest::addColumn<Reports>("reports");
        QTest::addColumn<Pair>("speedAndTimeLeft");
        QTest::newRow("steady") << Reports{{0, 0}, {1000, 1000}, {2000, 2000}} << Pair{1000, 998};
        QTest::newRow("an old fast start does not count")
            << Reports{{0, 0}, {1000, 500000}, {11000, 500000}, {21000, 510000}} << Pair{1000, 490};
        QTest::newRow("stopped for a window") << Reports{{0, 0}, {1000, 1000}, {12000, 1000}} << Pair{0, -1};
        QTest::newRow("one report") << Reports{{5000, 400}} << Pair{0, -1};
    }
    void speedIsOverTheLastTenSecondsAndGivesTheTimeLeft() {
        QFETCH(Reports, reports);
        for (const auto& [at, done] : reports) {
            m_now = at;
            m_progress.report(kSerial, downloading(done));
        }
        const auto snapshot = *m_progress.snapshot(kSerial);
        QTEST((Pair{std::llround(snapshot.bytesPerSecond), snapshot.secondsLeft}), "speedAndTimeLeft");
    }

    void stallIsMarkedOnceAndClearedByProgress() {
        m_progress.report(kSerial, downloading(100));
        m_now = 59999;
        m_progress.report(kSerial, downloading(100)); // the same bytes again are no progress
        QVERIFY(!m_progress.markStalledAfter(kSerial, 60000));
        m_now = 60000;
        QVERIFY(m_progress.markStalledAfter(kSerial, 60000));
        QVERIFY(!m_progress.markStalledAfter(kSerial, 60000)); // logged and restarted once only
        QVERIFY(m_progress.snapshot(kSerial)->stalled);
        QVERIFY(m_progress.toolTipText().endsWith(QLatin1String(", stalled")));
        m_now = 61000;
        m_progress.report(kSerial, downloading(612));
        QVERIFY(!m_progress.snapshot(kSerial)->stalled);
        m_now = 120000;
        QVERIFY(!m_progress.markStalledAfter(kSerial, 60000));
        m_now = 121000;
        QVERIFY(m_progress.markStalledAfter(kSerial, 60000));
    }

    void bytesMovingAreProgressWhereverThePositionStands() {
        m_progress.report(kSerial, resending(1000000));
        for (m_now = 5000; m_now <= 120000; m_now += 5000) {
            m_progress.report(kSerial, resending(1000000 + m_now * 50)); // 50 KB/s
            QVERIFY(!m_progress.markStalledAfter(kSerial, 10000));
        }
        m_now = 120000;
        const auto snapshot = *m_progress.snapshot(kSerial);
        QCOMPARE(std::llround(snapshot.bytesPerSecond), 50000);
        QCOMPARE(snapshot.position.bytesDone, 1000000);
    }

    void aNewSessionIsProgressAndStartsTheSpeedAgain() {
        m_progress.report(kSerial, downloading(0));
        m_now = 50000;
        m_progress.report(kSerial, downloading(1000000));
        m_now = 90000;
        m_progress.report(kSerial, downloading(0, 2));
        QVERIFY(!m_progress.markStalledAfter(kSerial, 60000));
        QCOMPARE(m_progress.snapshot(kSerial)->bytesPerSecond, 0.0);
    }

    void describesTheStep() {
        OVTransferProgress::Snapshot snapshot;
        snapshot.position = {Step::Downloading, 2, 3, 1024 * 1024, 4 * 1024 * 1024};
        snapshot.bytesPerSecond = 102400;
        snapshot.secondsLeft = 31;
        QCOMPARE(OVTransferProgress::describe(kSerial, snapshot),
                 QStringLiteral(
                     "OVR0000000000701: downloading session 2 of 3, 1.0 of 4.0 MiB, 100 KiB/s, 31 s left"));
        snapshot.position.step = Step::Uploading;
        QCOMPARE(
            OVTransferProgress::describe(kSerial, snapshot),
            QStringLiteral("OVR0000000000701: uploading chunk 2 of 3, 1.0 of 4.0 MiB, 100 KiB/s, 31 s left"));
    }

    void backoffDoublesUpToFifteenMinutes() {
        QList<qint64> ms;
        for (int stalls = 1; stalls <= 7; ++stalls)
            ms << OVStallWatchdog::backoffMs(OVStallWatchdog::kFirstBackoffMs, stalls);
        QCOMPARE(ms, (QList<qint64>{30000, 60000, 120000, 240000, 480000, 900000, 900000}));
    }
};

QTEST_GUILESS_MAIN(tst_OVTransferProgress)
#include "tst_OVTransferProgress.moc"

// The device syncher against a real ovcloud whose upload answers are slowed down: the start and end
// reports of a sync run, cancellation, and the order in which sessions and devices upload.
#include "OVDeviceSyncher.h"
#include "OVTestCapture.h"
#include "OVUploadTestBed.h"

#include <QElapsedTimer>

#include <mutex>
#include <tuple>

namespace {

constexpr int kTimeoutMs = 120000;
constexpr qint64 kChunk = 5 * 1024 * 1024;

/** Counts run reports per device syncher and times each session's upload, from any thread. */
class RunWatch {
public:
    using Span = std::tuple<qint64, qint64, qint64>; // began, last progress, ended (ms)

    RunWatch() {
        m_clock.start();
        auto& center = OVNotificationCenter::defaultCenter();
        for (const QString& name :
             {OVNotificationName::OnDeviceSyncStart, OVNotificationName::OnDeviceSyncDone})
            center.addObserver(this, name, [this](const OVNotification& n) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_reports[qMakePair(n.name, static_cast<const void*>(n.objectAs<OVDeviceSyncher>().get()))]++;
            });
        center.addObserver(
            this, OVNotificationName::OnSessionSyncStatusChanged, [this](const OVNotification& n) {
                const auto session = n.objectAs<OVSession>();
                const int status = session->syncStatus();
                std::lock_guard<std::mutex> lock(m_mutex);
                Span& span = m_spans[session.get()];
                (status == OVSessionSyncStatusSyncStarted ? std::get<0>(span)
                 : status == OVSessionSyncStatusSyncing   ? std::get<1>(span)
                                                          : std::get<2>(span)) = m_clock.elapsed();
            });
    }
    ~RunWatch() { OVNotificationCenter::defaultCenter().removeObserver(this); }

    int starts(const void* syncher) const { return count(OVNotificationName::OnDeviceSyncStart, syncher); }
    int dones(const void* syncher) const { return count(OVNotificationName::OnDeviceSyncDone, syncher); }
    Span span(const std::shared_ptr<OVSession>& session) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_spans.value(session.get(), Span(-1, -1, -1));
    }

private:
    int count(const QString& name, const void* syncher) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports.value(qMakePair(name, syncher));
    }

    QElapsedTimer m_clock;
    mutable std::mutex m_mutex;
    QHash<QPair<QString, const void*>, int> m_reports;
    QHash<const void*, Span> m_spans;
};

} // namespace

class tst_OVDeviceSyncher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        OVLogCapture::install();
        // Every chunk answer is held back, so uploads last long enough to overlap or be cancelled.
        m_server.setEnvironment(QStringLiteral("OVCLOUD_FAULT_DELAY_MS"), QStringLiteral("400"));
        m_server.setEnvironment(QStringLiteral("OVCLOUD_FAULT_DELAY_PATH"), QStringLiteral("/api/sync/"));
        QString error;
        QVERIFY2(m_bed.start(m_server, &error), qPrintable(error));
    }
    void cleanupTestCase() { OVLogCapture::uninstall(); }

    void syncRun_data() {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("forced"); // the first session alone, synced or not
        QTest::addColumn<int>("starts");
        QTest::newRow("nothing to sync: one end, no start")
            << QList<int>{OVSessionSyncStatusSynced, OVSessionSyncStatusNone, OVSessionSyncStatusStoring}
            << false << 0;
        QTest::newRow("ready, failed and cancelled sessions: one run")
            << QList<int>{OVSessionSyncStatusReadyToSync, OVSessionSyncStatusSyncFailed,
                          OVSessionSyncStatusSyncCancelled}
            << false << 1;
        QTest::newRow("a synced session forced: one run")
            << QList<int>{OVSessionSyncStatusSynced} << true << 1;
    }
    void syncRun() {
        QFETCH(QList<int>, statuses);
        QFETCH(bool, forced);
        QFETCH(int, starts);
        const auto device = deviceWith(statuses.size(), 512);
        for (int i = 0; i < statuses.size(); ++i) {
            device->sessions().at(i)->setSyncStatus(statuses.at(i));
            device->sessions().at(i)->setAlreadySynced(statuses.at(i) == OVSessionSyncStatusSynced);
        }
        RunWatch watch;
        const auto syncher = makeSyncher(device);

        if (forced) {
            syncher->syncSessions(device->sessions().first()); // not forced: left alone
            QCOMPARE(watch.starts(syncher.get()), 0);
            syncher->syncSessions(device->sessions().first(), true);
        } else {
            syncher->sync();
        }
        QTRY_VERIFY_WITH_TIMEOUT(watch.dones(syncher.get()) == 1, kTimeoutMs);
        syncher->sync(); // nothing can sync now: no further report
        QTest::qWait(200);

        QCOMPARE(watch.starts(syncher.get()), starts);
        QCOMPARE(watch.dones(syncher.get()), 1);
        QVERIFY(!syncher->isSynching());
        QCOMPARE(m_bed.records(*device->sessions().first()).size(), starts);
        for (int i = 0; i < statuses.size(); ++i)
            QCOMPARE(device->sessions().at(i)->syncStatus(),
                     starts ? int(OVSessionSyncStatusSynced) : statuses.at(i));
    }

    void endsOnceWhenCancelledOrDestroyed_data() {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("cancelSync") << false;
        QTest::newRow("destroyed mid-run") << true;
    }
    void endsOnceWhenCancelledOrDestroyed() {
        QFETCH(bool, destroy);
        const auto device = deviceWith(3, 2 * kChunk);
        auto syncher = makeSyncher(device);
        const void* key = syncher.get();
        RunWatch watch;
        syncher->sync();
        QTRY_VERIFY_WITH_TIMEOUT(device->sessions().first()->syncStatus() == OVSessionSyncStatusSyncing,
                                 kTimeoutMs);
        // A final state of another device's session does not end this run.
        auto stranger = std::make_shared<OVSession>();
        stranger->setDeviceSerial(QStringLiteral("someone-else"));
        stranger->setSyncStatus(OVSessionSyncStatusSynced);
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionSyncStatusChanged, stranger);
        QCOMPARE(watch.dones(key), 0);

        if (destroy)
            syncher.reset();
        else
            syncher->cancelSync();
        QTRY_VERIFY_WITH_TIMEOUT(!syncher || syncher->queue().operationCount() == 0, kTimeoutMs);
        QTest::qWait(200);
        QCOMPARE(watch.dones(key), 1);
        QCOMPARE(watch.starts(key), 1);
        for (const auto& session : device->sessions())
            QCOMPARE(session->syncStatus(), int(OVSessionSyncStatusSyncCancelled));
    }

    void devicesInParallelSessionsInTurn() {
        const auto first = deviceWith(2, kChunk);
        const auto second = deviceWith(2, kChunk);
        // Listed newest first: the syncher still uploads the oldest first.
        for (const auto& device : {first, second})
            device->modifySessions(
                [](OVSessionList& sessions) { std::reverse(sessions.begin(), sessions.end()); });
        RunWatch watch;
        const auto one = makeSyncher(first);
        const auto two = makeSyncher(second);
        one->sync();
        two->sync();
        QTRY_VERIFY_WITH_TIMEOUT(watch.dones(one.get()) == 1 && watch.dones(two.get()) == 1, kTimeoutMs);

        // A session syncher ends its operation before it reports its final state, so the next one may
        // begin before that report; it never begins before the previous one's last byte was sent.
        for (const auto& device : {first, second}) {
            const auto [newerBegan, newerProgress, newerEnded] = watch.span(device->sessions().at(0));
            const auto [olderBegan, olderProgress, olderEnded] = watch.span(device->sessions().at(1));
            QVERIFY(olderBegan >= 0 && newerEnded >= 0);
            QVERIFY2(olderProgress <= newerBegan,
                     "one device's sessions upload one after another, oldest first");
        }
        const auto [aBegan, aProgress, aEnded] = watch.span(first->sessions().at(1));
        const auto [bBegan, bProgress, bEnded] = watch.span(second->sessions().at(1));
        QVERIFY2(std::max(aBegan, bBegan) < std::min(aEnded, bEnded), "two devices upload at the same time");
    }

private:
    std::shared_ptr<OVDeviceInfo> deviceWith(int sessionCount, qint64 size) {
        auto device = std::make_shared<OVDeviceInfo>();
        device->setSerial(OVUploadTestBed::uniqueSerial());
        OVSessionList sessions;
        for (int i = 0; i < sessionCount; ++i)
            sessions << m_bed.storedSession(device->serial(), 1.2e9 + 3600 * i,
                                            OVUploadTestBed::pattern(size, i));
        device->setSessions(sessions);
        return device;
    }

    std::shared_ptr<OVDeviceSyncher> makeSyncher(const std::shared_ptr<OVDeviceInfo>& device) {
        auto syncher = std::make_shared<OVDeviceSyncher>(device);
        syncher->setService(&m_bed.service());
        return syncher;
    }

    OVUploadTestBed m_bed;
    OVCloudServer m_server;
};

QTEST_GUILESS_MAIN(tst_OVDeviceSyncher)
#include "tst_OVDeviceSyncher.moc"

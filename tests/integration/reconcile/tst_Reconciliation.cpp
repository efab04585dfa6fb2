// Reconciliation with a real ovcloud server: the shared user and team cache (one load for concurrent
// look-ups, a failed load tried again, teams sorted after "All", reset) and devices rebuilt from the store
// with it; session states from the server's records (paging through the record list, the match rule and
// every status decision, also in the background).
#include "CallOutcome.h"
#include "CloudRig.h"
#include "OVDataLookup.h"
#include "OVDeviceInformationManager.h"
#include "OVNotificationCenter.h"
#include "OVSessionStatusInquirer.h"

#include <QTest>

#include <thread>

namespace {

// Eleven characters, then the part a device's name shows.
const QString kFirst = QStringLiteral("OVR000000001234");
const QString kSecond = QStringLiteral("OVR000000005678");

constexpr double kFirstStart = 1700000000.0;
constexpr quint64 kPages = 4;
constexpr qint64 kComplete = kPages * 512;

/** One session's situation (its record on the server, its bytes here) and the state it must reach. */
struct StateCase {
    QString record; // empty: the server has none
    int recordUser;
    qint64 timelineSize; // bytes of the record's data on the server
    qint64 held;         // bytes of data on disk; -1: no data file
    QString how;         // any of "synced before" (and saved so), "query fails", "background" (a dropped
                         // inquirer's variant)
    int status;
    bool savedSynced; // the store keeps it as already synced
};

} // namespace

Q_DECLARE_METATYPE(StateCase)

class tst_Reconciliation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_cloud.start(&error), qPrintable(error));
        lookup().setService(&m_probe);
        m_inquirer.setService(&m_probe);
        storedSession(kFirst, 100, 101, 4, 0);
        storedSession(kFirst, 200, 999, 4, 0);
        storedSession(kFirst, 300, 102, 4, 0);
        storedSession(kSecond, 50, 103, 4, 0);
    }
    void init() { lookup().reset(); }
    void cleanup() {
        m_probe.failUsersWithCode = 0;
        m_probe.dropOffsetFromNext = false;
        m_probe.failRecordQuery = 0;
    }

    // The cache's cases come first: the status cases store sessions of devices of their own.
    void findsUsersAfterLoadingThemOnce() {
        QVERIFY(!lookup().findUserById(101));
        const int loads = m_probe.userLoads.load();
        CallOutcome<OVUser> first, second;
        lookup().findUserById(101, first.handler());
        lookup().findUserById(999, second.handler());
        QVERIFY(first.wait() && second.wait());
        QCOMPARE(m_probe.userLoads.load(), loads + 1);
        QVERIFY(!first.error && !second.error && !second.value);
        QCOMPARE(first.value->firstName, std::optional<QString>(QStringLiteral("Ada")));
        QVERIFY(lookup().areUsersLoaded());
        QCOMPARE(lookup().findUserById(102)->identifier, std::optional<qint64>(102));
    }

    void teamsComeSortedAfterTheAllTeam() {
        const int loads = m_probe.teamLoads.load();
        CallOutcome<QList<OVTeam>> teams, again, afterReset;
        lookup().getTeams(teams.handler());
        QVERIFY(teams.wait() && teams.value && teams.value->size() >= 3);
        QCOMPARE(teams.value->first().name, std::optional<QString>(QStringLiteral("All")));
        for (int i = 2; i < teams.value->size(); ++i)
            QVERIFY(teams.value->at(i - 1).name <= teams.value->at(i).name);

        lookup().getTeams(again.handler());
        QVERIFY(again.wait() && again.value);
        QCOMPARE(m_probe.teamLoads.load(), loads + 1);
        lookup().reset();
        QVERIFY(!lookup().areUsersLoaded());
        lookup().getTeams(afterReset.handler());
        QVERIFY(afterReset.wait() && afterReset.value);
        QCOMPARE(m_probe.teamLoads.load(), loads + 2);
    }

    void rebuildsDevicesFromTheStore_data() {
        QTest::addColumn<int>("userLoadError");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<QList<double>>("firstStarts");
        QTest::newRow("users loaded: unknown user left out") << 0 << 0 << QList<double>{300, 100};
        QTest::newRow("users not loadable: every session kept") << 500 << 0 << QList<double>{300, 200, 100};
        QTest::newRow("credentials refused: stops") << 2 << 2 << QList<double>{};
    }

    void rebuildsDevicesFromTheStore() {
        QFETCH(int, userLoadError);
        QFETCH(int, errorCode);
        QFETCH(QList<double>, firstStarts);
        m_probe.failUsersWithCode = userLoadError;
        CallOutcome<QList<std::shared_ptr<OVDeviceInfo>>> devices;
        OVDeviceInformationManager manager;
        manager.getDeviceInformationsFromLocalStorage(devices.handler());
        QVERIFY(devices.wait());
        QCOMPARE(devices.error ? devices.error->code() : 0, errorCode);
        if (userLoadError) { // a failed load is tried again by the next look-up
            QVERIFY(!lookup().areUsersLoaded());
            m_probe.failUsersWithCode = 0;
            QVERIFY(lookup().findUserByIdAndWait(101).first);
        }
        using Found = QMap<QString, std::pair<QString, QList<double>>>; // by serial: name and session starts
        Found found;
        for (const auto& device : devices.value.value_or(QList<std::shared_ptr<OVDeviceInfo>>())) {
            QVERIFY(!device->isConnected());
            found.insert(device->serial(), {device->name(), startsOf(device->sessions())});
        }
        QCOMPARE(found, (errorCode ? Found()
                                   : Found{{kFirst, {QStringLiteral("OV1234"), firstStarts}},
                                           {kSecond, {QStringLiteral("OV5678"), {50}}}}));
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
        int posted = 0, unsaved = 0;
        // An observer told a session is synced finds that in the store: the records are saved first.
        OVNotificationCenter::defaultCenter().addObserver(
            this, OVNotificationName::OnSessionSyncStatusChanged, [&](const OVNotification& notification) {
                ++posted;
                const auto session = notification.objectAs<OVSession>();
                if (!session || session->syncStatus() != OVSessionSyncStatusSynced)
                    return;
                const auto saved = OVSessionFileRepository::convertToSession(
                    fileBytes(OVSessionFileRepository().getSessionFilePath(*session, nullptr)), nullptr);
                unsaved += saved && saved->alreadySynced() ? 0 : 1;
            });
        m_inquirer.updateSessionsStatus(sessions);
        OVNotificationCenter::defaultCenter().removeObserver(this);
        QCOMPARE(unsaved, 0);

        const QList<OVRecordFilter> queries = m_probe.recordQueries().mid(before);
        QList<qint64> seenOffsets;
        for (const OVRecordFilter& q : queries)
            seenOffsets << q.offset.value_or(-1);
        QCOMPARE(seenOffsets, offsets);
        QCOMPARE(std::pair(queries.first().limit, queries.first().exact_device),
                 std::pair(std::optional<qint64>(500), std::optional<QString>(serial)));
        QCOMPARE(posted, 1200);
        QMap<int, int> byStatus;
        for (const auto& session : sessions)
            ++byStatus[session->syncStatus()];
        QCOMPARE(
            (QList<int>{byStatus.value(OVSessionSyncStatusSynced), byStatus.value(OVSessionSyncStatusNone),
                        byStatus.value(OVSessionSyncStatusStoringFailed)}),
            (QList<int>{synced, unknown, 1200 - synced - unknown}));
    }

    void decidesEachSessionsState_data() {
        QTest::addColumn<StateCase>("c");
        const QString complete = QStringLiteral("complete"), incomplete = QStringLiteral("incomplete");
        const QString before = QStringLiteral("synced before"), fails = QStringLiteral("query fails");
        const QList<std::pair<const char*, StateCase>> rows{
            {"no record, data complete", {{}, 0, 0, kComplete, {}, 1, false}},
            {"no record, data partial", {{}, 0, 0, 512, {}, 7, false}},
            {"no record, synced before", {{}, 0, 0, 512, before, 4, true}},
            {"query fails, data partial", {{}, 0, 0, 512, fails, 0, false}},
            {"query fails, data complete", {{}, 0, 0, kComplete, fails, 1, false}},
            {"query fails, synced before", {{}, 0, 0, 0, before + fails, 4, true}},
            {"complete record", {complete, 101, 0, 512, {}, 4, true}},
            {"deleted record", {QStringLiteral("deleted"), 101, 0, 0, {}, 4, true}},
            {"record of another user", {complete, 102, 0, 512, {}, 7, false}},
            {"server holds the local file's bytes", {incomplete, 101, 1024, 1024, {}, 4, true}},
            {"server holds fewer bytes", {incomplete, 101, 512, kComplete, {}, 1, false}},
            {"file gone, server holds all pages", {incomplete, 101, kComplete, -1, {}, 4, true}},
            {"no bytes on server, data partial", {incomplete, 101, 0, 512, {}, 7, false}},
            {"no bytes on server, data complete", {incomplete, 101, 0, kComplete, {}, 1, false}},
            // Saved as synced while the record lacks bytes: offered for upload again.
            {"synced before, no bytes on server", {incomplete, 101, 0, kComplete, before, 1, false}},
            {"synced before, server holds fewer bytes", {incomplete, 101, 512, kComplete, before, 1, false}},
            {"in the background", {{}, 0, 0, kComplete, QStringLiteral("background"), 1, false}},
        };
        for (const auto& [name, c] : rows)
            QTest::newRow(name) << c;
    }

    // One session alone: its window is [start, start + 1 s], and the decision follows the record found.
    void decidesEachSessionsState() {
        QFETCH(StateCase, c);
        const QString serial = QStringLiteral("OVSTATE%1").arg(++m_serialNumber, 6, 10, QLatin1Char('0'));
        if (!c.record.isEmpty())
            QVERIFY(m_cloud.seedRecords(
                {CloudRig::recordRow(serial, kFirstStart, c.recordUser, c.record, c.timelineSize)}));
        const auto session = storedSession(serial, kFirstStart, 101, kPages, c.held);
        session->setAlreadySynced(c.how.contains(QLatin1String("synced before")));
        if (c.held >= 0)
            OVSessionFileRepository().updateSession(*session, nullptr);
        const int before = int(m_probe.recordQueries().size());
        m_probe.failRecordQuery = c.how.contains(QLatin1String("query fails")) ? before + 1 : 0;
        if (c.how == QLatin1String("background")) {
            // Once queued it needs no inquirer, and calls back off the caller's thread.
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
        } else {
            m_inquirer.updateSessionsStatus({session});
        }

        const OVRecordFilter query = m_probe.recordQueries().value(before);
        QCOMPARE(query.greatherThanOrEqual_startTimestamp, std::optional<OVDate>(session->start()));
        QCOMPARE(query.lessThanOrEqual_startTimestamp,
                 std::optional<OVDate>(session->start().addingSeconds(1)));
        QCOMPARE(session->syncStatus(), c.status);
        const auto saved = OVSessionFileRepository::convertToSession(
            fileBytes(OVSessionFileRepository().getSessionFilePath(*session, nullptr)), nullptr);
        QCOMPARE(saved && saved->alreadySynced(), c.savedSynced);
        QCOMPARE(session->alreadySynced(), c.savedSynced);
    }

private:
    static OVDataLookup& lookup() { return OVDataLookup::sharedInstance(); }

    CloudRig m_cloud;
    ServiceProbe m_probe{m_cloud.service()};
    OVSessionStatusInquirer m_inquirer;
    bool m_pagingSeeded = false;
    int m_serialNumber = 0;
};

QTEST_GUILESS_MAIN(tst_Reconciliation)
#include "tst_Reconciliation.moc"

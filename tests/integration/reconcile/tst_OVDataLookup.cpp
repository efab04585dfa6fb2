// The shared user and team cache against a real ovcloud server (one load for concurrent look-ups, a
// failed load tried again, teams sorted after "All", reset), and devices rebuilt from the store with it.
#include "CallOutcome.h"
#include "CloudRig.h"
#include "OVDataLookup.h"
#include "OVDeviceInformationManager.h"

#include <QTest>

namespace {

// Eleven characters, then the part a device's name shows.
const QString kFirst = QStringLiteral("OVR000000001234");
const QString kSecond = QStringLiteral("OVR000000005678");

} // namespace

class tst_OVDataLookup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_cloud.start(&error), qPrintable(error));
        lookup().setService(&m_probe);
        storedSession(kFirst, 100, 101, 4, 0);
        storedSession(kFirst, 200, 999, 4, 0);
        storedSession(kFirst, 300, 102, 4, 0);
        storedSession(kSecond, 50, 103, 4, 0);
    }

    void init() {
        lookup().reset();
        m_probe.failUsersWithCode = 0;
    }

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

private:
    static OVDataLookup& lookup() { return OVDataLookup::sharedInstance(); }

    CloudRig m_cloud;
    ServiceProbe m_probe{m_cloud.service()};
};

QTEST_GUILESS_MAIN(tst_OVDataLookup)
#include "tst_OVDataLookup.moc"

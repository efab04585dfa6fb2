// The shared user and team cache against a real ovcloud server (one load for concurrent look-ups, a
// failed load tried again, teams sorted after "All", reset), and devices rebuilt from the store with it.
#include "CloudRig.h"
#include "OVDataLookup.h"
#include "OVDeviceInformationManager.h"

#include <QTest>

namespace {

using Answer = std::pair<std::optional<OVUser>, std::optional<OVError>>;

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
        const int loads = m_probe.userLoads();
        std::optional<Answer> first, second;
        std::atomic<int> answered{0};
        const auto into = [&answered](std::optional<Answer>& answer) {
            return [&](std::optional<OVUser> u, std::optional<OVError> e) {
                answer.emplace(u, e);
                ++answered;
            };
        };
        lookup().findUserById(101, into(first));
        lookup().findUserById(999, into(second));
        QVERIFY(QTest::qWaitFor([&] { return answered.load() == 2; }, 30000));
        QCOMPARE(m_probe.userLoads(), loads + 1);
        QVERIFY(!first->second && !second->second);
        QCOMPARE(first->first->firstName, std::optional<QString>(QStringLiteral("Ada")));
        QVERIFY(!second->first);
        QVERIFY(lookup().areUsersLoaded());
        QCOMPARE(lookup().findUserById(102)->identifier, std::optional<qint64>(102));
    }

    void teamsComeSortedAfterTheAllTeam() {
        const int loads = m_probe.teamLoads();
        const auto teams = loadTeams();
        QVERIFY(teams && teams->size() >= 3);
        QCOMPARE(teams->first().name, std::optional<QString>(QStringLiteral("All")));
        for (int i = 2; i < teams->size(); ++i)
            QVERIFY(teams->at(i - 1).name <= teams->at(i).name);

        QVERIFY(loadTeams());
        QCOMPARE(m_probe.teamLoads(), loads + 1);
        lookup().reset();
        QVERIFY(!lookup().areUsersLoaded());
        QVERIFY(loadTeams());
        QCOMPARE(m_probe.teamLoads(), loads + 2);
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

        std::optional<QList<std::shared_ptr<OVDeviceInfo>>> devices;
        std::optional<OVError> error;
        std::atomic<bool> done{false};
        OVDeviceInformationManager manager;
        manager.getDeviceInformationsFromLocalStorage([&](auto d, auto e) {
            devices = std::move(d);
            error = std::move(e);
            done = true;
        });
        QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 30000));
        if (errorCode) {
            QVERIFY(!devices);
            QCOMPARE(error->code(), errorCode);
        }
        if (userLoadError) { // a failed load is tried again by the next look-up
            QVERIFY(!lookup().areUsersLoaded());
            m_probe.failUsersWithCode = 0;
            QVERIFY(lookup().findUserByIdAndWait(101).first);
        }
        if (errorCode)
            return;
        QVERIFY(!error);
        QCOMPARE(devices->size(), 2);
        QMap<QString, std::pair<QString, QList<double>>> found; // by serial: name and session starts
        for (const auto& device : *devices) {
            QVERIFY(!device->isConnected());
            found.insert(device->serial(), {device->name(), startsOf(device->sessions())});
        }
        QCOMPARE(found, (QMap<QString, std::pair<QString, QList<double>>>{
                            {kFirst, {QStringLiteral("OV1234"), firstStarts}},
                            {kSecond, {QStringLiteral("OV5678"), {50}}}}));
    }

private:
    static OVDataLookup& lookup() { return OVDataLookup::sharedInstance(); }

    std::optional<QList<OVTeam>> loadTeams() {
        std::optional<QList<OVTeam>> teams;
        std::atomic<bool> done{false};
        lookup().getTeams([&](std::optional<QList<OVTeam>> t, std::optional<OVError>) {
            teams = std::move(t);
            done = true;
        });
        return QTest::qWaitFor([&] { return done.load(); }, 30000) ? teams : std::nullopt;
    }

    CloudRig m_cloud;
    ServiceProbe m_probe{m_cloud.service()};
};

QTEST_GUILESS_MAIN(tst_OVDataLookup)
#include "tst_OVDataLookup.moc"

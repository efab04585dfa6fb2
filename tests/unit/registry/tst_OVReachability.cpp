// The network probes: the host probe is reachable while a TCP connection to the host succeeds, with
// one change notification per change, and takes its port from the server URL; the registry's pair
// makes work wait while either probe held says unreachable, and starts a probe when it is put in
// and stops it when it is replaced or the pair goes away.
#include "OVHostReachability.h"
#include "OVNotificationCenter.h"
#include "OVReachability.h"
#include "OVReachabilityProbes.h"

#include <QTcpServer>
#include <QTest>

#include <atomic>

namespace {
class FakeProbe : public OVReachability {
public:
    explicit FakeProbe(bool reachable)
        : OVReachability(reachable) {}
    bool startNotifier() override {
        ++starts;
        return true;
    }
    void stopNotifier() override { ++stops; }
    int starts = 0;
    int stops = 0;
};

std::shared_ptr<FakeProbe> probe(int state) {
    return state < 0 ? nullptr : std::make_shared<FakeProbe>(state == 1);
}
} // namespace

class tst_OVReachability : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void portFromURL_data() {
        QTest::addColumn<QString>("urlAndAddress"); // the URL, then host:port
        QTest::newRow("explicit port") << "http://127.0.0.1:8000/api/ 127.0.0.1:8000";
        QTest::newRow("http default") << "http://localhost/api/ localhost:80";
        QTest::newRow("https default") << "https://localhost/api/ localhost:443";
    }
    void portFromURL() {
        QFETCH(QString, urlAndAddress);
        const auto probe =
            OVHostReachability::reachabilityWithURL(urlAndAddress.section(QLatin1Char(' '), 0, 0));
        QCOMPARE(probe->host() + QLatin1Char(':') + QString::number(probe->port()),
                 urlAndAddress.section(QLatin1Char(' '), 1));
    }

    void followsTheHost() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        const auto probe = std::make_shared<OVHostReachability>(QStringLiteral("127.0.0.1"), port);
        probe->setInterval(std::chrono::milliseconds(50));
        std::atomic<int> changes{0};
        OVNotificationCenter::defaultCenter().addObserver(
            this, OVNotificationName::kNetworkReachabilityChangedNotification,
            [&](const OVNotification& notification) {
                if (notification.objectAs<OVReachability>() == probe)
                    ++changes;
            });

        QVERIFY(!probe->isReachable());
        QVERIFY(probe->startNotifier());
        QTRY_VERIFY(probe->isReachable());
        QTest::qWait(200); // further successful tries change nothing
        QCOMPARE(changes.load(), 1);

        server.close();
        QTRY_VERIFY(!probe->isReachable());
        QCOMPARE(changes.load(), 2);

        QVERIFY(server.listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY(probe->isReachable());
        QCOMPARE(changes.load(), 3);

        probe->stopNotifier();
        OVNotificationCenter::defaultCenter().removeObserver(this);
    }

    void bothReachable_data() {
        QTest::addColumn<int>("internet"); // -1 absent, 0 unreachable, 1 reachable
        QTest::addColumn<int>("host");
        QTest::addColumn<bool>("reachable");
        QTest::newRow("both up") << 1 << 1 << true;
        QTest::newRow("internet down") << 0 << 1 << false;
        QTest::newRow("host down") << 1 << 0 << false;
        QTest::newRow("no probes") << -1 << -1 << true;
        QTest::newRow("only a host, down") << -1 << 0 << false;
    }

    void bothReachable() {
        QFETCH(int, internet);
        QFETCH(int, host);
        QFETCH(bool, reachable);
        OVReachabilityProbes probes;
        probes.replace(probe(internet), probe(host));
        QCOMPARE(probes.bothReachable(), reachable);
    }

    void replaceStopsTheOldAndStartsTheNew() {
        const auto first = std::make_shared<FakeProbe>(true);
        const auto second = std::make_shared<FakeProbe>(false);
        {
            OVReachabilityProbes probes;
            probes.replace(first, first);
            QCOMPARE(first->starts, 2);
            probes.replace(second, nullptr);
            QCOMPARE(QList<int>({first->stops, second->starts, second->stops}), QList<int>({2, 1, 0}));
            QVERIFY(!probes.bothReachable());
        }
        QCOMPARE(second->stops, 1);
    }
};

QTEST_GUILESS_MAIN(tst_OVReachability)
#include "tst_OVReachability.moc"

// The registry's pair of network probes: work waits while either probe held says unreachable, and
// a probe is started when it is put in and stopped when it is replaced or the pair goes away.
#include "OVReachability.h"
#include "OVReachabilityProbes.h"

#include <QTest>

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

class tst_OVReachabilityProbes : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
            QCOMPARE(first->stops, 2);
            QCOMPARE(second->starts, 1);
            QCOMPARE(second->stops, 0);
            QVERIFY(!probes.bothReachable());
        }
        QCOMPARE(second->stops, 1);
    }
};

QTEST_GUILESS_MAIN(tst_OVReachabilityProbes)
#include "tst_OVReachabilityProbes.moc"

#include "OVNetworkClock.h"

#include <QTest>

class tst_OVNetworkClock : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void httpDates_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<double>("seconds");
        QTest::newRow("standard GMT") << "Sun, 06 Nov 1994 08:49:37 GMT" << 784111777.0;
        QTest::newRow("numeric offset") << "Sun, 06 Nov 1994 09:49:37 +0100" << 784111777.0;
        QTest::newRow("spaces around") << "  Sat, 05 Dec 2026 18:00:00 GMT " << 1796493600.0;
        QTest::newRow("unknown zone name") << "Sun, 06 Nov 1994 08:49:37 PST" << -1.0;
        QTest::newRow("no weekday") << "06 Nov 1994 08:49:37 GMT" << -1.0;
        QTest::newRow("garbage") << "tomorrow" << -1.0;
        QTest::newRow("empty") << "" << -1.0;
    }

    void httpDates() {
        QFETCH(QString, header);
        QFETCH(double, seconds);
        const auto parsed = OVNetworkClock::parseHttpDate(header);
        QCOMPARE(parsed ? parsed->secondsSince1970() : -1.0, seconds);
    }
};

QTEST_GUILESS_MAIN(tst_OVNetworkClock)
#include "tst_OVNetworkClock.moc"

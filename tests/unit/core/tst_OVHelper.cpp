#include "OVHelper.h"

#include <QTest>

class tst_OVHelper : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void durations_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "00:00:00";
        QTest::newRow("fraction is dropped") << 59.999 << "00:00:59";
        QTest::newRow("hundreds of hours") << 360000.0 << "100:00:00";
        QTest::newRow("negative counts as zero") << -5.0 << "00:00:00";
    }

    void durations() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(OVHelper::formattedStringForDuration(seconds), text);
    }

    void orvatimestampsAreExactSixteenthsOfSixteenths() {
        const OVDate date = OVDate::fromSecondsSince1970(1462442400.00390625);
        QCOMPARE(OVHelper::convertDateToOrvatimestamp(date), 374385254401.0);
        QCOMPARE(OVHelper::convertOrvatimestampToDate(374385254401.0), date);
        QCOMPARE(OVHelper::convertOrvatimestampToDate(2560).secondsSince1970(), 10.0);
    }

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
        const auto parsed = OVHelper::parseHttpDate(header);
        QCOMPARE(parsed ? parsed->secondsSince1970() : -1.0, seconds);
    }
};

QTEST_GUILESS_MAIN(tst_OVHelper)
#include "tst_OVHelper.moc"

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
};

QTEST_GUILESS_MAIN(tst_OVHelper)
#include "tst_OVHelper.moc"

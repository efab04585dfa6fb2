// The byte-level contracts of the device library: device time, the information block's texts,
// malformed answer payloads, and the CRC verification's answers. Whole session records are checked
// where the emulator's lists come through the library.
#include "OrvaneDate.h"
#include "OrvaneSDSessionInformation.h"
#include "OrvaneSessionVerification.h"
#include "OrvaneWire.h"

#include <QTest>

#include <cmath>

namespace {
/** A session list of one record whose every field is zero. */
QByteArray oneRecordList() {
    auto s = std::make_shared<OrvaneSDSessionInformation>();
    s->sessionInformation.structure = QByteArray(64, '\0');
    return OrvaneSDSessionInformation::encodeList({s});
}

QByteArray pageOf(char fill) {
    return QByteArray(OrvaneSessionVerification::kPageSize, fill);
}
} // namespace

class tst_OrvaneWire : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void deviceTime_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<quint64>("units");
        QTest::newRow("epoch") << 0.0 << quint64(0);
        QTest::newRow("one unit") << 0.00390625 << quint64(1);
        QTest::newRow("half second") << 1462442400.5 << quint64(1462442400ull * 256 + 128);
        QTest::newRow("fraction of a unit is dropped") << 1.001 << quint64(256);
        QTest::newRow("before 1970") << -5.0 << quint64(0);
    }
    void deviceTime() {
        QFETCH(double, seconds);
        QFETCH(quint64, units);
        QCOMPARE(orvaneTime(OVDate::fromSecondsSince1970(seconds)), units);
        QCOMPARE(orvaneTime(dateWithOrvaneTime(units)), units);
    }

    void timesBeyondTheCalendarHaveNoDate_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("valid");
        QTest::newRow("largest device time") << dateWithOrvaneTime(~quint64(0)).secondsSince1970() << false;
        QTest::newRow("not a number") << std::nan("") << false;
        QTest::newRow("infinite") << -HUGE_VAL << false;
        QTest::newRow("year 9999") << 253402300799.0 << true;
    }
    void timesBeyondTheCalendarHaveNoDate() {
        QFETCH(double, seconds);
        QFETCH(bool, valid);
        const OVDate date = OVDate::fromSecondsSince1970(seconds);
        QCOMPARE(date.toDateTime().isValid(), valid);
        QCOMPARE(date.description().startsWith(QLatin1String("9999-12-31")), valid);
    }

    void informationTextsLoseTheirPadding_data() {
        QTest::addColumn<QByteArray>("softwareField");
        QTest::addColumn<QByteArray>("deviceField");
        QTest::addColumn<QString>("software");
        QTest::addColumn<QString>("device");
        QTest::newRow("full fields") << QByteArray("OVR-040506") << QByteArray(32, 'f')
                                     << QStringLiteral("OVR-040506") << QString(32, QLatin1Char('f'));
        QTest::newRow("NUL padded") << QByteArray("OVR-1") << QByteArray("abc") << QStringLiteral("OVR-1")
                                    << QStringLiteral("abc");
        QTest::newRow("all NULs") << QByteArray() << QByteArray() << QString() << QString();
        QTest::newRow("bytes after the padding") << QByteArray("AB\0\0junk\0", 10) << QByteArray("id\0x", 4)
                                                 << QStringLiteral("AB") << QStringLiteral("id");
    }
    void informationTextsLoseTheirPadding() {
        QFETCH(QByteArray, softwareField);
        QFETCH(QByteArray, deviceField);
        OrvaneSDSessionInformation::SessionInformation info;
        info.structure = QByteArray(64, '\0');
        info.structure.replace(8, 10, softwareField.leftJustified(10, '\0', true));
        info.structure.replace(28, 32, deviceField.leftJustified(32, '\0', true));
        QFETCH(QString, software);
        QFETCH(QString, device);
        QCOMPARE(info.softwareId(), software);
        QCOMPARE(info.deviceId(), device);
    }

    void malformedPayloadsAreRejected_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("accepted");
        const QByteArray good = oneRecordList();
        QTest::newRow("a whole record") << good << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("record cut short") << good.left(good.size() - 1) << false;
        QTest::newRow("trailing bytes") << good + QByteArray(1, 'x') << false;
        QTest::newRow("count larger than the records")
            << QByteArray::fromHex("02000000") + good.mid(4) << false;
        QTest::newRow("absurd count") << QByteArray::fromHex("ffffffff") << false;
    }
    void malformedPayloadsAreRejected() {
        QFETCH(QByteArray, payload);
        QFETCH(bool, accepted);
        QCOMPARE(OrvaneSDSessionInformation::decodeList(payload).has_value(), accepted);
        QVERIFY(!OrvaneWire::decodeAnswer(payload.left(3)));
    }

    void verificationAnswers_data() {
        QTest::addColumn<QList<QByteArray>>("pages");
        QTest::addColumn<bool>("withSession");
        QTest::addColumn<QList<int>>("answers");
        const QList<QByteArray> three{pageOf('a'), pageOf('b'), pageOf('c')};
        QTest::newRow("pages out of order")
            << QList<QByteArray>{pageOf('b'), pageOf('a'), pageOf('c')} << true << QList<int>{0, 0, -1};
        QTest::newRow("one page too many")
            << three + QList<QByteArray>{pageOf('d'), pageOf('e')} << true << QList<int>{0, 0, 1, -3, -3};
        QTest::newRow("short page sticks")
            << QList<QByteArray>{pageOf('a'), QByteArray(100, 'b'), pageOf('c')} << true
            << QList<int>{0, -4, -4};
        QTest::newRow("no session") << three << false << QList<int>{-2, -2, -2};
    }
    void verificationAnswers() {
        QFETCH(QList<QByteArray>, pages);
        QFETCH(bool, withSession);
        QFETCH(QList<int>, answers);
        auto session = std::make_shared<OrvaneSDSessionInformation>();
        session->pageCount = 3;
        quint32 crc = OrvaneSessionVerification::crc32Initial();
        for (char c : {'a', 'b', 'c'})
            crc = OrvaneSessionVerification::crc32Update(crc, pageOf(c));
        session->dataCRC = crc;
        OrvaneSessionVerification verification;
        if (withSession)
            verification.setSession(session);
        QList<int> got;
        for (const QByteArray& page : pages)
            got << verification.feedPage(page);
        QCOMPARE(got, answers);
    }
};

QTEST_GUILESS_MAIN(tst_OrvaneWire)
#include "tst_OrvaneWire.moc"

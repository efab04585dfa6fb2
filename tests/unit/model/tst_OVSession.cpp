#include "OVPage.h"
#include "OVSession.h"

#include <QTest>

class tst_OVSession : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void descriptions() {
        OVSession session;
        session.setStart(OVDate::fromSecondsSince1970(1462442400));
        session.setEnd(OVDate::fromSecondsSince1970(1462446000.5));
        session.setStartPage(100);
        session.setEndPage(199);
        session.setUserId(101);
        QCOMPARE(session.description(),
                 QStringLiteral("SD:2016-05-05 10:00:00 +0000, ED:2016-05-05 11:00:00 +0000, "
                                "SP:100, EP:199, User:101"));
        const OVPage page(7, QByteArray::fromHex("deadbeef01"));
        QCOMPARE(page.description(), QStringLiteral("7-<deadbeef 01>"));
    }

    void expectedDataSizeIsPagesOf512Bytes() {
        OVSession session;
        session.setPageCount(8388608);
        QCOMPARE(session.expectedDataSize(), qint64(4294967296));
    }
};

QTEST_GUILESS_MAIN(tst_OVSession)
#include "tst_OVSession.moc"

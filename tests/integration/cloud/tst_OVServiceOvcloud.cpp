// The web API client against a real ovcloud server on a loopback port: sign-in, record creation and
// its search. Athletes and teams as the server sends them are read by the data lookup's suite and the
// pipeline test; paging and chunked uploads by the status inquirer's and the session syncher's.
#include "CallOutcome.h"
#include "OVSession.h"
#include "SignedInService.h"

#include <QRandomGenerator>

namespace {

QString uniqueSerial() {
    return QStringLiteral("OVIT%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

OVRecord recordFor(const QString& serial, double startSeconds, quint64 userId) {
    OVSession session;
    session.setDeviceSerial(serial);
    session.setStart(OVDate::fromSecondsSince1970(startSeconds));
    session.setEnd(OVDate::fromSecondsSince1970(startSeconds + 600.5));
    session.setUserId(userId);
    session.setPageCount(24577);
    session.setDeviceUid(QStringLiteral("uid-") + serial);
    session.setFirmwareRev(QStringLiteral("2.4.1"));
    session.setSoftwareUid(QStringLiteral("soft"));
    session.setSoftwareProtocol(3);
    session.setData(QByteArray(64, '\x5a'));
    return OVRecord::buildRecordFromSession(session);
}

} // namespace

class tst_OVServiceOvcloud : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_client.start(m_server, &error), qPrintable(error));
    }

    void signIn_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("wrong password") << "not-the-password" << false;
        QTest::newRow("right password") << m_demo.value(QLatin1String("password")).toString() << true;
    }

    void signIn() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        CallOutcome<OVUser> outcome; // the password given is used, not the one stored
        m_service.authenticate(m_demo.value(QLatin1String("username")).toString(), password,
                               outcome.handler());
        QVERIFY(outcome.wait());
        if (!accepted) {
            QVERIFY(!outcome.value);
            QCOMPARE(outcome.error->domain(), OVService::kErrorDomain);
            QCOMPARE((std::pair(outcome.error->code(), outcome.error->description())),
                     (std::pair(2, QStringLiteral("Unauthorized"))));
            return;
        }
        QVERIFY2(!outcome.error, qPrintable(outcome.error->description()));
        const OVUser& coach = *outcome.value;
        QCOMPARE(coach.identifier, std::optional<qint64>(m_demo.value(QLatin1String("user_id")).toInteger()));
        QCOMPARE(coach.uri, std::optional<QString>(QStringLiteral("/api/user/100/")));
        QCOMPARE(coach.email, coach.username);
        QCOMPARE(coach.firstName, std::optional<QString>(QStringLiteral("Casey")));
        QCOMPARE(coach.profile->gender, 1);
        QCOMPARE(coach.profile->dateOfBirth->toDateTime().toLocalTime().date(), QDate(1979, 4, 12));
    }

    void createdRecordIsFoundByItsSession() {
        const QString serial = uniqueSerial();
        const double start = 1764000000.0 + 3.0 / 256 + 1.0 / 1024; // a fraction of a unit is cut in queries
        OVRecord record = recordFor(serial, start, 101);
        OVError error;
        QVERIFY2(m_service.createRecord(record, &error), qPrintable(error.description()));
        QVERIFY(record.resource_uri && record.resource_uri->startsWith(QLatin1String("/api/record/")));

        OVRecordFilter filter;
        filter.exact_device = serial;
        filter.exact_startTimestamp = OVDate::fromSecondsSince1970(start);
        filter.exact_userUri = QStringLiteral("101");
        const std::optional<OVRecordsPage> page = m_service.getRecordsByFilter(filter, &error);
        QVERIFY2(page, qPrintable(error.description()));
        QCOMPARE(page->second.size(), 1);
        const OVRecord& found = page->second.first();
        QCOMPARE(found.resource_uri, record.resource_uri);
        QCOMPARE(OVService::getResourceIdFromUri(*found.resource_uri), QString::number(*found.identifier));
        QCOMPARE(int(found.status), 1);
        QVERIFY(!found.timelineSize);
        QCOMPARE(found.user->identifier, std::optional<qint64>(101));
        QCOMPARE(found.device, std::optional<QString>(QStringLiteral("/api/device/%1/").arg(serial)));
        QCOMPARE(found.npages, std::optional<qint64>(24577));
        QCOMPARE(found.data, std::optional<QByteArray>(QByteArray(64, '\x5a').toBase64()));
        QCOMPARE(std::floor(found.startTimestamp->secondsSince1970() * 256), std::floor(start * 256));
    }

private:
    SignedInService m_client;
    OVCloudServer m_server;
    const QJsonObject m_demo = OVCloudServer::demoAccount();
    OVService& m_service = m_client.service();
};

QTEST_GUILESS_MAIN(tst_OVServiceOvcloud)
#include "tst_OVServiceOvcloud.moc"

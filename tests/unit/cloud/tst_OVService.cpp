#include "OVCredentialManagerProtocol.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "SUUpdater.h"

#include <QTest>

#include <cmath>

namespace {

class FixedCredentials : public OVCredentialManagerProtocol {
public:
    std::optional<QString> getUsername() override { return QStringLiteral("ada"); }
    std::optional<QString> getPassword() override { return QStringLiteral("pässword:1"); }
    bool isUserSignedIn() override { return true; }
    void saveCredential(const OVUser&, const QString&) override {}
    void deleteCredential() override {}
    std::optional<OVUser> currentUser() override { return OVUser(); }
    void setCurrentUser(const std::optional<OVUser>&) override {}
};

OVDate at(double seconds) {
    return OVDate::fromSecondsSince1970(seconds);
}

} // namespace

class tst_OVService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("OV_SERVER_URL", "https://api.example.org/api/"); }

    void recordFilterQuery_data() {
        QTest::addColumn<OVRecordFilter>("filter");
        QTest::addColumn<QString>("query");

        OVRecordFilter deviceAndStart;
        deviceAndStart.exact_device = QStringLiteral("S1");
        deviceAndStart.exact_startTimestamp = at(10);
        QTest::newRow("device and start") << deviceAndStart << "start__exact=2560&device__exact=S1";
        QTest::newRow("nothing") << OVRecordFilter() << "";

        OVRecordFilter paging;
        paging.limit = 500;
        paging.offset = 1000;
        QTest::newRow("paging") << paging << "offset=1000&limit=500";

        // Three quarters of a unit are cut, not rounded.
        OVRecordFilter fraction;
        fraction.exact_startTimestamp = at(10 + 3.0 / 1024);
        fraction.greatherThanOrEqual_startTimestamp = at(1700000000.75);
        QTest::newRow("fraction cut") << fraction << "start__exact=2560&start__gte=435200000192";

        OVRecordFilter all;
        all.exact_npages = 7;
        all.exact_device = QStringLiteral("SN");
        all.exact_userUri = QStringLiteral("12");
        all.limit = 5;
        all.offset = 10;
        all.exact_endTimestamp = at(4);
        all.lessThanOrEqual_startTimestamp = at(3);
        all.greatherThanOrEqual_startTimestamp = at(2);
        all.exact_startTimestamp = at(1);
        QTest::newRow("all nine in order") << all
                                           << "start__exact=256&start__gte=512&start__lte=768&end__exact="
                                              "1024&offset=10&limit=5&user__exact=12"
                                              "&device__exact=SN&npages__exact=7";
    }

    void recordFilterQuery() {
        QFETCH(OVRecordFilter, filter);
        QFETCH(QString, query);
        QCOMPARE(OVService::buildStringRecordFilter(filter), query);
    }

    void resourceIdFromUri_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("id");
        QTest::newRow("user") << "/api/user/12/"
                              << "12";
        QTest::newRow("record") << "/api/record/471/"
                                << "471";
        QTest::newRow("no slash") << "471"
                                  << "";
    }

    void resourceIdFromUri() {
        QFETCH(QString, uri);
        QFETCH(QString, id);
        QCOMPARE(OVService::getResourceIdFromUri(uri), id);
    }

    void requestBuilding_data() {
        QTest::addColumn<QString>("filter"); // "-": no filter
        QTest::addColumn<QString>("body");   // "-": no body
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("sentBody");
        QTest::newRow("filter") << "limit=0"
                                << "-"
                                << "https://api.example.org/api/team/?limit=0" << QByteArray();
        QTest::newRow("no filter") << "-"
                                   << "-"
                                   << "https://api.example.org/api/team/" << QByteArray();
        QTest::newRow("empty filter") << ""
                                      << "-"
                                      << "https://api.example.org/api/team/?" << QByteArray();
        QTest::newRow("empty body") << "-"
                                    << ""
                                    << "https://api.example.org/api/team/" << QByteArray();
        QTest::newRow("braces") << "-"
                                << "{}"
                                << "https://api.example.org/api/team/" << QByteArray("{}");
        QTest::newRow("utf-8 body") << "-"
                                    << "\"é\""
                                    << "https://api.example.org/api/team/" << QByteArray("\"\xc3\xa9\"");
    }

    void requestBuilding() {
        QFETCH(QString, filter);
        QFETCH(QString, body);
        QFETCH(QString, url);
        QFETCH(QByteArray, sentBody);
        const QString none = QStringLiteral("-");
        FixedCredentials credentials;
        SUUpdater updater;
        OVPreferencesManager preferences(OVLoginItem(QString(), QString()), &updater);
        OVService service(&credentials, &preferences);
        OVURLRequest request = service.buildRequest(QStringLiteral("team"), QStringLiteral("POST"),
                                                    body == none ? std::nullopt : std::optional(body),
                                                    filter == none ? std::nullopt : std::optional(filter));
        QCOMPARE(request.absoluteURLString(), url);
        QCOMPARE(request.HTTPBody(), sentBody);
        QCOMPARE(request.timeoutInterval(), 60);
        const QList<QPair<QString, QString>> headers{
            {QStringLiteral("Content-Type"), QStringLiteral("application/json")},
            {QStringLiteral("Accept"), QStringLiteral("application/json")},
            {QStringLiteral("Authorization"),
             QStringLiteral("Basic ") + QString::fromLatin1(QByteArray("ada:p\xc3\xa4ssword:1").toBase64())}};
        QCOMPARE(request.allHTTPHeaderFields(), headers);

        // The timestamp is whole seconds; the query is signed, so another filter signs differently.
        service.setApiKey(request, at(1700000000.999));
        QCOMPARE(request.valueForHTTPHeaderField(QStringLiteral("X-ORVATIMESTAMP")),
                 std::optional<QString>(QStringLiteral("1700000000")));
        OVURLRequest other = service.buildRequest(QStringLiteral("team"), QStringLiteral("POST"),
                                                  std::nullopt, QStringLiteral("limit=1"));
        service.setApiKey(other, at(1700000000.999));
        QVERIFY(request.valueForHTTPHeaderField(QStringLiteral("X-ORVAAPISIGNATURE")) !=
                other.valueForHTTPHeaderField(QStringLiteral("X-ORVAAPISIGNATURE")));
    }

    void signsByTheNetworkClock_data() {
        QTest::addColumn<bool>("clockAnswers");
        QTest::newRow("network date") << true;
        QTest::newRow("no network date: the local clock") << false;
    }

    void signsByTheNetworkClock() {
        QFETCH(bool, clockAnswers);
        FixedCredentials credentials;
        SUUpdater updater;
        OVPreferencesManager preferences(OVLoginItem(QString(), QString()), &updater);
        OVService service(&credentials, &preferences);
        service.setNetworkClock([clockAnswers]() -> std::optional<OVDate> {
            return clockAnswers ? std::optional(at(1234567890.5)) : std::nullopt;
        });
        OVURLRequest request = service.buildRequest(QStringLiteral("team"), QStringLiteral("GET"));
        const double before = std::floor(OVDate::now().secondsSince1970());
        service.setApiKey(request);
        const double stamp =
            request.valueForHTTPHeaderField(QStringLiteral("X-ORVATIMESTAMP")).value_or(QString()).toDouble();
        if (clockAnswers)
            QCOMPARE(stamp, 1234567890.0);
        else
            QVERIFY(stamp >= before && stamp <= OVDate::now().secondsSince1970());
    }
};

QTEST_GUILESS_MAIN(tst_OVService)
#include "tst_OVService.moc"

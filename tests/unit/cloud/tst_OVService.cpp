#include "OVCredentialManagerProtocol.h"
#include "OVPreferencesManager.h"
#include "OVService.h"
#include "SUUpdater.h"

#include <QTest>

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
        QTest::newRow("record") << QStringLiteral("/api/record/471/") << QStringLiteral("471");
        QTest::newRow("no slash") << QStringLiteral("471") << QString();
    }

    void resourceIdFromUri() {
        QFETCH(QString, uri);
        QTEST(OVService::getResourceIdFromUri(uri), "id");
    }

    // Headers, their order and the signature are checked as a server receives them (tst_OVServiceWire).
    void requestBuilding_data() {
        QTest::addColumn<QString>("filter"); // "-": no filter
        QTest::addColumn<QString>("body");   // "-": no body
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("sentBody");
        const auto row = [](const char* name, const char* filter, const char* body, const char* query,
                            const QByteArray& sent) {
            QTest::newRow(name) << QString::fromUtf8(filter) << QString::fromUtf8(body)
                                << QStringLiteral("https://api.example.org/api/team/") + QLatin1String(query)
                                << sent;
        };
        row("filter", "limit=0", "-", "?limit=0", QByteArray());
        row("no filter", "-", "-", "", QByteArray());
        row("empty filter", "", "-", "?", QByteArray());
        row("empty body", "-", "", "", QByteArray());
        row("utf-8 body", "-", "\"é\"", "", QByteArray("\"\xc3\xa9\""));
    }

    void requestBuilding() {
        QFETCH(QString, filter);
        QFETCH(QString, body);
        const QString none = QStringLiteral("-");
        FixedCredentials credentials;
        SUUpdater updater;
        OVPreferencesManager preferences(OVLoginItem(QString(), QString()), &updater);
        OVService service(&credentials, &preferences);
        OVURLRequest request = service.buildRequest(QStringLiteral("team"), QStringLiteral("POST"),
                                                    body == none ? std::nullopt : std::optional(body),
                                                    filter == none ? std::nullopt : std::optional(filter));
        QTEST(request.absoluteURLString(), "url");
        QTEST(request.HTTPBody(), "sentBody");
        QCOMPARE(request.timeoutInterval(), 60);
        service.setApiKey(request, at(1700000000.999)); // cut to whole seconds, not rounded
        QCOMPARE(request.valueForHTTPHeaderField(QStringLiteral("X-ORVATIMESTAMP")),
                 std::optional<QString>(QStringLiteral("1700000000")));
    }
};

QTEST_GUILESS_MAIN(tst_OVService)
#include "tst_OVService.moc"

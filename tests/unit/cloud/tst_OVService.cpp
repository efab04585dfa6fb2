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

    // Fractions of a unit are cut, not rounded.
    void recordFilterQueryAndResourceIds() {
        QCOMPARE(OVService::buildStringRecordFilter(OVRecordFilter()), QString());
        OVRecordFilter all;
        all.exact_npages = 7;
        all.exact_device = QStringLiteral("SN");
        all.exact_userUri = QStringLiteral("12");
        all.limit = 5;
        all.offset = 10;
        all.exact_endTimestamp = at(4);
        all.lessThanOrEqual_startTimestamp = at(3);
        all.greatherThanOrEqual_startTimestamp = at(1700000000.75);
        all.exact_startTimestamp = at(1 + 3.0 / 1024);
        QCOMPARE(OVService::buildStringRecordFilter(all),
                 QStringLiteral("start__exact=256&start__gte=435200000192&start__lte=768&end__exact=1024&"
                                "offset=10&limit=5&user__exact=12&device__exact=SN&npages__exact=7"));
        QCOMPARE(OVService::getResourceIdFromUri(QStringLiteral("/api/record/471/")), QStringLiteral("471"));
        QCOMPARE(OVService::getResourceIdFromUri(QStringLiteral("471")), QString());
    }

    // Headers, their order and the signature are checked as a server receives them (tst_OVServiceWire).
    void requestBuilding() {
        FixedCredentials credentials;
        SUUpdater updater;
        OVPreferencesManager preferences(OVLoginItem(QString(), QString()), &updater);
        OVService service(&credentials, &preferences);
        const QString team = QStringLiteral("team");
        QCOMPARE(service.buildRequest(team, QStringLiteral("POST"), QString()).HTTPBody(), QByteArray());
        OVURLRequest request = service.buildRequest(team, QStringLiteral("POST"), QStringLiteral("\"é\""));
        QCOMPARE(request.HTTPBody(), QByteArray("\"\xc3\xa9\""));
        QCOMPARE(request.timeoutInterval(), 60);
        service.setApiKey(request, at(1700000000.999)); // cut to whole seconds, not rounded
        QCOMPARE(request.valueForHTTPHeaderField(QStringLiteral("X-ORVATIMESTAMP")),
                 std::optional<QString>(QStringLiteral("1700000000")));

        OVRecord record;
        record.resource_uri = QStringLiteral("/api/record/471/");
        const std::optional<OVURLRequest> upload = service.createUploadRecordRequest(
            record, QStringLiteral("/tmp/part_1_5242880_10485759.dat"), 12000000);
        QCOMPARE(upload->absoluteURLString(),
                 QStringLiteral("https://api.example.org/api/sync/timeline/471/"));
        QCOMPARE((QStringList{*upload->valueForHTTPHeaderField(QStringLiteral("Content-Type")),
                              *upload->valueForHTTPHeaderField(QStringLiteral("Content-Range"))}),
                 (QStringList{QStringLiteral("application/octet-stream"),
                              QStringLiteral("bytes 5242880-10485759/12000000")}));
    }
};

QTEST_GUILESS_MAIN(tst_OVService)
#include "tst_OVService.moc"
